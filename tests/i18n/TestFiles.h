#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

// Readable texts in test failures.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace testfiles {

// A catalog compiled by msgfmt for the tests ("normal", "normal-be", "regional", ...).
QString catalog(const QString &name);
// A catalog of the program itself, as built in assets/ ("default", "toolkit").
QString programCatalog(const QString &domain);

QByteArray read(const QString &path);
void write(const QString &path, const QByteArray &bytes);
void copy(const QString &from, const QString &to);

// Copies a catalog to root/language/LC_MESSAGES/domain.mo.
QString placeCatalog(const QString &root, const QString &language, const QString &domain,
                     const QString &source);

// Copies the store probe program into folder, as folder/name.
QString copyProbe(const QString &folder, const QString &name = QStringLiteral("program"));

struct ToolResult
{
    int exitCode = -1;
    QString errors;
};
// Runs the appending tool; items are "NAME=FILE", options come first.
ToolResult appendStore(const QString &executable, const QStringList &items,
                       const QStringList &options = {});

// What distributions do to an executable before they ship it.
struct Treatment
{
    const char *description;
    // Commands run one after another; "%1" stands for the executable's path.
    std::vector<QStringList> commands;
};
const std::vector<Treatment> &strippingTreatments();
// Copies the executable into folder (as folder/name) and applies the treatment to the copy.
QString treatedCopy(const QString &executable, const QString &folder, const QString &name,
                    const Treatment &treatment);

// The directory position patched into the marker of an executable file.
std::uint64_t markerPosition(const QString &executable);

std::uint32_t get32(const QByteArray &bytes, qsizetype at);
void put32(QByteArray &bytes, qsizetype at, std::uint32_t value);
std::uint64_t get64(const QByteArray &bytes, qsizetype at);
void put64(QByteArray &bytes, qsizetype at, std::uint64_t value);

// Sets (or with nullopt removes) environment variables and restores them afterwards.
class EnvironmentGuard
{
public:
    EnvironmentGuard() = default;
    ~EnvironmentGuard();
    EnvironmentGuard(const EnvironmentGuard &) = delete;
    EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;
    void set(const char *name, const std::optional<QByteArray> &value);

private:
    struct Saved
    {
        QByteArray name;
        std::optional<QByteArray> value;
    };
    std::vector<Saved> m_saved;
};

} // namespace testfiles
