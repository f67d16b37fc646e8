#include "web/ClassViewServer.h"

#include "web/Browser.h"
#include "web/DemoState.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

using webtest::Browser;
using webtest::demoState;

namespace {

QString js(const char *expression)
{
    return QString::fromUtf8(expression);
}

} // namespace

// The page in a real browser: it shows what the program publishes, a new run as soon as it
// is published, a running time that ticks on its own, and it fits a phone's width.
TEST(ClassViewPage, ABrowserShowsEachPublishedRunAndTicksWhileRunning)
{
    web::ClassViewServer::Options options;
    options.port = 0;
    options.loopbackOnly = true;
    web::ClassViewServer server(options);
    ASSERT_EQ(server.start(), QString());
    server.publish(demoState(2, false));

    Browser browser;
    ASSERT_TRUE(browser.start(server.url())) << "chromium is not installed (scripts/install-deps.sh test)";
    ASSERT_TRUE(browser.attach());
    ASSERT_TRUE(browser.waitUntil(js("document.querySelectorAll('#runs tbody tr').length === 2")));
    EXPECT_EQ(browser.evaluate(js("document.getElementById('link').textContent")).toString(),
              QStringLiteral("verbunden"));
    EXPECT_EQ(browser.evaluate(js("document.getElementById('series').textContent")).toString(),
              QStringLiteral("Serie 1: Wagen auf der Schiene"));

    // A run that arrives is in the table at once, with the program's texts.
    server.publish(demoState(3, false));
    ASSERT_TRUE(browser.waitUntil(js("document.querySelectorAll('#runs tbody tr').length === 3")));
    EXPECT_EQ(browser.evaluate(js("[...document.querySelectorAll('#runs tbody tr:last-child td')]"
                                  ".map(c => c.textContent).join('|')")).toString(),
              QStringLiteral("3|0,4911|0,305"));
    EXPECT_EQ(browser.evaluate(js("document.getElementById('result').textContent")).toString(),
              demoState(3, false).resultText);
    EXPECT_EQ(browser.evaluate(js("document.querySelectorAll('#chart circle').length")).toInt(), 3);
    EXPECT_EQ(browser.evaluate(js("document.getElementById('stats').textContent")).toString(),
              QStringLiteral("Anzahl3Mittelwert v0,308 m/sStrecke0,150 m"));

    // Running: the armed state in words and colour, and the time ticks in the page.
    server.publish(demoState(3, true, 61000));
    ASSERT_TRUE(browser.waitUntil(js("document.getElementById('armed').textContent === 'Messung läuft'")));
    EXPECT_EQ(browser.evaluate(js("getComputedStyle(document.getElementById('armed')).backgroundColor"))
                  .toString(),
              QStringLiteral("rgb(198, 40, 40)"));
    EXPECT_TRUE(browser.waitUntil(js("document.getElementById('time').textContent.startsWith('01:0')")));
    const QString first = browser.evaluate(js("document.getElementById('time').textContent")).toString();
    EXPECT_TRUE(browser.waitUntil(
        QStringLiteral("document.getElementById('time').textContent !== '%1'").arg(first)));
    // Stopped: the program's own time text.
    server.publish(demoState(4, false));
    EXPECT_TRUE(browser.waitUntil(js("document.getElementById('time').textContent === '00:00.4948'")));

    // The downloads carry the code, so that they work without the cookie too.
    EXPECT_TRUE(browser.evaluate(js("document.getElementById('csv').href")).toString().endsWith(
        QStringLiteral("/sitzung.csv?k=") + QString::fromLatin1(server.accessCode())));

    // Pictures to look at, phone and projector sizes; the phone's has no sideways scrolling.
    const QString folder = QStringLiteral(TF_BROWSER_SHOTS);
    QDir().mkpath(folder);
    const struct
    {
        int width, height;
        bool mobile;
        const char *name;
    } sizes[] = {{390, 844, true, "phone-390x844.png"}, {1920, 1080, false, "projector-1920x1080.png"}};
    for (const auto &size : sizes) {
        const QByteArray png = browser.screenshot(size.width, size.height, size.mobile);
        const QImage image = QImage::fromData(png, "PNG");
        EXPECT_EQ(image.size(), QSize(size.width, size.height)) << size.name;
        QFile file(folder + u'/' + QString::fromLatin1(size.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(png);
        EXPECT_TRUE(browser.evaluate(js("document.documentElement.scrollWidth <= window.innerWidth")).toBool())
            << size.name;
    }
}
