#pragma once

#include <QString>

// The texts of the form translation's errors. They stay English: they name classes and
// properties for the program's developer.
QString PropertyDisappearedText(const QString &className);
QString PropertyCannotBeTranslatedText(const QString &className, const QString &propertyName,
                                       const QString &reason);
