#include "app/AnalysisWindow.h"

#include "app/AnalysisPlot.h"
#include "platform/Locale.h"
#include "widgets/FitPlot.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace app {

using analysis::Model;
using analysis::Pair;
using timing::MeasurementMode;

namespace {

// The modes whose series lie at a setting; the picket fence fits each pass alone.
constexpr MeasurementMode AnalysedModes[] = {MeasurementMode::BetweenBarriers,
                                             MeasurementMode::DarkTime,
                                             MeasurementMode::Acceleration,
                                             MeasurementMode::Pendulum};

} // namespace

Pair defaultPair(MeasurementMode mode)
{
    // The law's constant is what a lesson ends in: the first pair whose slope gives one.
    const QList<Pair> pairs = analysis::pairsForMode(int(mode));
    analysis::FitResult unit;
    unit.slope = 1;
    for (const Pair pair : pairs)
        if (analysis::derivedOf(pair, unit))
            return pair;
    return pairs.isEmpty() ? Pair::TimeOverDistance : pairs.front();
}

session::SessionAnalysis defaultAnalysis(const QList<protocol::Run> &runs, MeasurementMode mode)
{
    return session::analyseSession(runs, session::seriesOf(runs), mode, defaultPair(mode));
}

AnalysisWindow::AnalysisWindow(session::Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window), m_session(session)
{
    setObjectName(QStringLiteral("AnalysisWindow"));
    setWindowTitle(QStringLiteral("Auswertung"));

    m_mode = new QComboBox(this);
    m_mode->setObjectName(QStringLiteral("cmbAnalysisMode"));
    for (const MeasurementMode mode : AnalysedModes)
        m_mode->addItem(session::modeName(mode), int(mode));
    m_pair = new QComboBox(this);
    m_pair->setObjectName(QStringLiteral("cmbPair"));
    m_model = new QComboBox(this);
    m_model->setObjectName(QStringLiteral("cmbModel"));
    m_model->addItem(QStringLiteral("proportional (y = m·x)"), int(Model::Proportional));
    m_model->addItem(QStringLiteral("linear (y = b + m·x)"), int(Model::Linear));

    auto *choices = new QHBoxLayout;
    const auto labelled = [&](const QString &text, QWidget *field) {
        auto *label = new QLabel(text, this);
        label->setBuddy(field);
        choices->addWidget(label);
        choices->addWidget(field);
    };
    labelled(QStringLiteral("&Messart:"), m_mode);
    labelled(QStringLiteral("&Auftragung:"), m_pair);
    labelled(QStringLiteral("M&odell:"), m_model);
    choices->addStretch();

    m_plot = new widgets::FitPlot(this);
    m_plot->setObjectName(QStringLiteral("plotAnalysis"));
    m_plot->setMinimumSize(360, 280);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("lblSummary"));
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("tblSeries"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_title = new QLineEdit(this);
    m_title->setObjectName(QStringLiteral("edtReportTitle"));
    m_class = new QLineEdit(this);
    m_class->setObjectName(QStringLiteral("edtReportClass"));
    m_notes = new QPlainTextEdit(this);
    m_notes->setObjectName(QStringLiteral("edtReportNotes"));
    m_notes->setMaximumHeight(70);
    auto *report = new QFormLayout;
    report->addRow(QStringLiteral("&Titel:"), m_title);
    report->addRow(QStringLiteral("&Klasse:"), m_class);
    report->addRow(QStringLiteral("&Notizen:"), m_notes);

    auto *right = new QVBoxLayout;
    right->addWidget(m_summary);
    right->addWidget(m_table, 1);
    right->addLayout(report);
    auto *body = new QHBoxLayout;
    body->addWidget(m_plot, 3);
    body->addLayout(right, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(body, 1);
    resize(1040, 600);

    const int modeRow = m_mode->findData(int(session.mode()));
    m_mode->setCurrentIndex(modeRow < 0 ? 0 : modeRow);
    fillPairs();
    connect(m_mode, &QComboBox::currentIndexChanged, this, [this] {
        fillPairs();
        refresh();
    });
    connect(m_pair, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(m_model, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(m_title, &QLineEdit::textEdited, this, [this] { storeTexts(); });
    connect(m_class, &QLineEdit::textEdited, this, [this] { storeTexts(); });
    connect(m_notes, &QPlainTextEdit::textChanged, this, [this] { storeTexts(); });
    m_session.addObserver(this);
    showTexts();
    refresh();
}

AnalysisWindow::~AnalysisWindow()
{
    m_session.removeObserver(this);
}

void AnalysisWindow::setModeIndex(int index)
{
    const int row = m_mode->findData(index);
    if (row >= 0)
        m_mode->setCurrentIndex(row);
}

void AnalysisWindow::fillPairs()
{
    const QSignalBlocker blocker(m_pair);
    const QVariant before = m_pair->currentData();
    m_pair->clear();
    for (const Pair pair : analysis::pairsForMode(m_mode->currentData().toInt()))
        m_pair->addItem(analysis::pairText(pair).title, int(pair));
    int row = m_pair->findData(before);
    if (row < 0)
        row = std::max(0, m_pair->findData(int(defaultPair(MeasurementMode(m_mode->currentData().toInt())))));
    m_pair->setCurrentIndex(row);
}

session::SessionAnalysis AnalysisWindow::analyse() const
{
    const QList<protocol::Run> &runs = m_session.runs().runs();
    std::optional<Pair> pair;
    if (m_pair->currentIndex() >= 0)
        pair = Pair(m_pair->currentData().toInt());
    return session::analyseSession(runs, m_session.series(),
                                   MeasurementMode(m_mode->currentData().toInt()), pair,
                                   Model(m_model->currentData().toInt()));
}

void AnalysisWindow::refresh()
{
    m_current = analyse();
    const QChar separator = platform::locale().decimalSeparator();
    widgets::FitPlotData data = analysisPlot(m_current.analysis, separator);
    if (!m_current.message.isEmpty())
        data.emptyText = m_current.message;
    m_plot->setData(std::move(data));
    const QStringList summary = m_current.summary(separator);
    m_summary->setText(summary.join(u'\n'));
    // Every line shown: the result is among the last.
    m_summary->setMinimumHeight(m_summary->fontMetrics().lineSpacing() * int(summary.size() + 1));

    const QStringList captions = m_current.captions();
    const QList<QStringList> rows = m_current.rows(separator);
    m_table->clear();
    m_table->setColumnCount(int(captions.size()));
    m_table->setHorizontalHeaderLabels(captions);
    m_table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size(); ++c) {
            auto *item = new QTableWidgetItem(rows[r][c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c, item);
        }
}

void AnalysisWindow::showTexts()
{
    const session::SessionData &texts = m_session.texts();
    m_showing = true;
    // A field being typed in keeps what it has; the session got it already.
    if (m_title->text() != texts.title)
        m_title->setText(texts.title);
    if (m_class->text() != texts.className)
        m_class->setText(texts.className);
    if (m_notes->toPlainText() != texts.notes)
        m_notes->setPlainText(texts.notes);
    m_showing = false;
}

void AnalysisWindow::storeTexts()
{
    if (m_showing)
        return;
    m_session.setTexts(m_title->text(), m_class->text(), m_notes->toPlainText());
}

void AnalysisWindow::sessionChanged()
{
    showTexts();
    refresh();
}

} // namespace app
