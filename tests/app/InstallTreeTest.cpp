// The program as `cmake --install --strip` lays it out: everything a desktop needs to list,
// show and start it, accepted by the freedesktop and AppStream validators, and a stripped
// program in its own folder beside its help, started through bin/, that still speaks German.

#include "i18n/EmbeddedStore.h"
#include "i18n/StoreMarker.h"
#include "i18n/TranslationEngine.h"
#include "support/VirtualScreen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>

#include <unistd.h>

namespace {

struct Outcome
{
    int exitCode = -1;
    QString output;
};

Outcome run(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, QString::fromLocal8Bit(process.readAll()) + process.errorString()};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
}

QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class InstallTree : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        s_install = run(QStringLiteral(TF_CMAKE),
                        {"--install", TF_BUILD_DIR, "--prefix", s_dir->path(), "--strip"});
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override { ASSERT_EQ(s_install.exitCode, 0) << s_install.output.toStdString(); }

    static QString path(const QString &relative) { return s_dir->path() + '/' + relative; }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline Outcome s_install;
};

const QString appId = QStringLiteral(TF_APP_ID);

TEST_F(InstallTree, HoldsWhatADesktopNeedsAndTheValidatorsAcceptIt)
{
    const QString desktop = path("share/applications/" + appId + ".desktop");
    const QString metainfo = path("share/metainfo/" + appId + ".metainfo.xml");
    for (const QString &file :
         {path("bin/tachoflux"), desktop, metainfo, path("share/doc/tachoflux/LICENSE"),
          path("share/doc/tachoflux/copyright"), path("share/man/man1/tachoflux.1.gz"),
          path("share/icons/hicolor/scalable/apps/" + appId + ".svg")})
        EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
    EXPECT_TRUE(QFileInfo(path("bin/tachoflux")).isExecutable());
    EXPECT_TRUE(read(path("share/doc/tachoflux/LICENSE")).contains("GNU GENERAL PUBLIC LICENSE"));

    // Every size desktops ask for, drawn at that size.
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString icon =
            path(QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + appId + ".png");
        const QImage image(icon);
        EXPECT_EQ(image.size(), QSize(size, size)) << icon.toStdString();
        EXPECT_TRUE(image.hasAlphaChannel()) << icon.toStdString();
    }

    // The menu entry starts the installed program, shows its icon, and speaks German.
    const QStringList lines = QString::fromUtf8(read(desktop)).split('\n');
    for (const char *line :
         {"Exec=tachoflux", "Name[de]=Tachoflux", "Categories=Education;Science;Physics;",
          "Comment[de]=Zeiten und Geschwindigkeiten mit zwei Lichtschranken an der seriellen "
          "Schnittstelle messen"})
        EXPECT_TRUE(lines.contains(QString::fromUtf8(line))) << line;
    EXPECT_TRUE(lines.contains("Icon=" + appId));

    const Outcome desktopCheck = run(QStringLiteral("desktop-file-validate"), {desktop});
    EXPECT_EQ(desktopCheck.exitCode, 0) << desktopCheck.output.toStdString();
    EXPECT_FALSE(desktopCheck.output.contains("error")) << desktopCheck.output.toStdString();
    const Outcome appstreamCheck =
        run(QStringLiteral("appstreamcli"), {"validate", "--no-net", metainfo});
    EXPECT_EQ(appstreamCheck.exitCode, 0) << appstreamCheck.output.toStdString();
}

// The program lives with its help in its own folder; bin/ holds only a relative link, so
// the tree can be moved (a package, a prefix of the user's choice).
TEST_F(InstallTree, ProgramAndHelpLiveTogetherAndBinHoldsALinkToThem)
{
    const QFileInfo link(path("bin/tachoflux"));
    ASSERT_TRUE(link.isSymLink());
    EXPECT_EQ(link.canonicalFilePath(),
              QFileInfo(path("libexec/tachoflux/tachoflux")).canonicalFilePath());
    char target[4096] = {};
    const ssize_t length =
        ::readlink(QFile::encodeName(link.filePath()).constData(), target, sizeof target - 1);
    ASSERT_GT(length, 0);
    EXPECT_EQ(QString::fromLocal8Bit(target, length), "../libexec/tachoflux/tachoflux");

    EXPECT_TRUE(QFileInfo(path("libexec/tachoflux/tachoflux.hlp")).isFile());
    EXPECT_TRUE(read(path("libexec/tachoflux/tachoflux.hlp")).startsWith("<!DOCTYPE html>"));
    // Only programs in bin/, and no file-type rules that would need a database update as root.
    EXPECT_EQ(QDir(path("bin")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"tachoflux"});
    EXPECT_FALSE(QFileInfo::exists(path("share/mime")));
}

TEST_F(InstallTree, InstalledProgramIsStrippedAndStillSpeaksGerman)
{
    const QString program = path("bin/tachoflux");
    EXPECT_LT(QFileInfo(program).size(), QFileInfo(QStringLiteral(TF_TACHOFLUX)).size());
    EXPECT_EQ(run(program, {"--version"}).output, "Tachoflux 1.02\n");
    EXPECT_TRUE(run(program, {"--help"}).output.startsWith("Aufruf: tachoflux [Optionen]\n"));

    const QByteArray image = read(program);
    std::uint64_t position = 0;
    ASSERT_TRUE(i18n::store_marker::positionIn(std::string_view(image.constData(), image.size()),
                                               position));
    i18n::TEmbeddedStore store(program, position);
    store.ScanStore();
    ASSERT_EQ(store.FileNames().size(), 2);
    i18n::TTranslationEngine engine(store.ExecutableFolder(), &store);
    engine.SelectLanguage(QStringLiteral("de"));
    EXPECT_EQ(engine.TranslateInDomain(QStringLiteral("toolkit"), QStringLiteral("&Yes")),
              QStringLiteral("&Ja"));
}

// Started through bin/, the program finds its help through its own resolved path: the help
// window shows the installed file, not the copy built into the program.
TEST_F(InstallTree, InstalledProgramFindsItsHelpThroughTheLink)
{
    if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "xvfb-run and xdotool are needed (scripts/install-deps.sh test)";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LANG", "de_DE.UTF-8");
    const Outcome shown =
        run("xvfb-run", virtualScreenArguments() << TF_PRESS_HELP << path("bin/tachoflux"), env);
    EXPECT_EQ(shown.exitCode, 0) << shown.output.toStdString();
    // The script prints the title on a line of its own; the program's own notes and a
    // sanitizer's summary may stand around it.
    const QStringList lines = shown.output.split(u'\n');
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString &line) {
        return line.startsWith(QStringLiteral("Tachoflux – Hilfe"));
    })) << shown.output.toStdString();
    EXPECT_FALSE(shown.output.contains(QStringLiteral("eingebaute Fassung")))
        << shown.output.toStdString();
}

// The Debian package as cpack builds it passes lintian without an error or a warning.
TEST(DebianPackage, IsLintianClean)
{
    const QString lintian = QStandardPaths::findExecutable("lintian");
    if (lintian.isEmpty())
        GTEST_SKIP() << "lintian is not installed (scripts/install-deps.sh test)";
    QTemporaryDir out;
    const QString cpack = QFileInfo(QStringLiteral(TF_CMAKE)).dir().filePath("cpack");
    const Outcome packed =
        run(cpack, {"-G", "DEB", "-B", out.path(), "--config", TF_BUILD_DIR "/CPackConfig.cmake"});
    ASSERT_EQ(packed.exitCode, 0) << packed.output.toStdString();
    const QStringList debs =
        QDir(out.path()).entryList({"tachoflux_" + QStringLiteral(TF_VERSION) + "_*.deb"});
    ASSERT_EQ(debs.size(), 1) << packed.output.toStdString();
    const QString deb = out.filePath(debs[0]);
    const Outcome checked = run(lintian, {"--fail-on", "error,warning", deb});
    EXPECT_EQ(checked.exitCode, 0) << checked.output.toStdString();
    for (const QString &line : checked.output.split('\n'))
        EXPECT_FALSE(line.startsWith("E:") || line.startsWith("W:")) << line.toStdString();
}

} // namespace
