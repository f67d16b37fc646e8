#pragma once

#include <QApplication>
#include <gtest/gtest.h>

// GoogleTest main for suites that need a QApplication (widgets run offscreen).
#define TF_QT_TEST_MAIN                                                                      \
    int main(int argc, char **argv)                                                           \
    {                                                                                         \
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty()                       \
                                       ? QByteArray("offscreen")                              \
                                       : qgetenv("QT_QPA_PLATFORM"));                         \
        QApplication app(argc, argv);                                                         \
        ::testing::InitGoogleTest(&argc, argv);                                               \
        return RUN_ALL_TESTS();                                                               \
    }
