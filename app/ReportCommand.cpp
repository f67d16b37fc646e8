#include "app/ReportCommand.h"

#include "app/AnalysisWindow.h"
#include "app/RunReport.h"
#include "platform/Locale.h"
#include "protocol/ExportFile.h"

#include <QFileInfo>

#include <cstdio>

namespace app {

using timing::MeasurementMode;

MeasurementMode reportMode(const QList<protocol::Run> &runs)
{
    for (auto run = runs.crbegin(); run != runs.crend(); ++run)
        if (!analysis::pairsForMode(int(run->mode)).isEmpty())
            return run->mode;
    return MeasurementMode::BetweenBarriers;
}

QString writeSessionReport(const QString &pdf, const session::SessionData &data)
{
    const platform::Locale &locale = platform::locale();
    ReportContent content;
    content.runs = data.runs;
    for (qsizetype row = 0; row < data.runs.size(); ++row)
        content.rows << row;
    content.made = locale.currentDateTime();
    content.title = data.title;
    content.className = data.className;
    content.notes = data.notes;
    content.analysis = defaultAnalysis(data.runs, reportMode(data.runs));
    try {
        writeReport(pdf, content, locale);
    } catch (const protocol::ExportError &error) {
        return error.explanation();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

int runReportCommand(const QString &pdf, QString sessionPath)
{
    const auto fail = [](const QString &message) {
        std::fputs((QStringLiteral("tachoflux: ") + message + u'\n').toLocal8Bit().constData(),
                   stderr);
        return 2;
    };
    if (pdf.isEmpty() || !QFileInfo(pdf).fileName().endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return fail(QStringLiteral("--bericht braucht den Namen einer PDF-Datei, etwa "
                                   "„--bericht bericht.pdf“."));
    if (sessionPath.isEmpty()) {
        sessionPath = session::SessionStore(session::SessionStore::defaultFolder()).lastPath();
        if (sessionPath.isEmpty())
            return fail(QStringLiteral("Es gibt noch keine gespeicherte Sitzung; bitte eine "
                                       "Sitzungsdatei angeben."));
    }
    QStringList problems;
    const std::optional<session::SessionData> data =
        session::SessionStore::load(sessionPath, &problems);
    if (!data)
        return fail(QStringLiteral("Die Sitzung „%1“ lässt sich nicht lesen: %2")
                        .arg(sessionPath, problems.join(QStringLiteral("; "))));
    for (const QString &problem : problems)
        std::fputs((QStringLiteral("tachoflux: ") + problem + u'\n').toLocal8Bit().constData(),
                   stderr);
    if (const QString error = writeSessionReport(pdf, *data); !error.isEmpty())
        return fail(error);
    return 0;
}

} // namespace app
