#pragma once

#include "i18n/StoreMarker.h"
#include "i18n/Translation.h"
#include "support/Installed.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

// Where a built program's store directory starts, read from its marker; 0 if none.
inline std::uint64_t storePosition(const QString &program)
{
    QFile file(program);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray image = file.readAll();
    std::uint64_t position = 0;
    i18n::store_marker::positionIn(std::string_view(image.constData(), image.size()), position);
    return position;
}

// The built program's own catalogs, started up as the program does it (its language
// chosen, toolkit texts translated) for as long as this lives.
class ProgramCatalogs
{
public:
    explicit ProgramCatalogs(const QString &program) : m_position(storePosition(program))
    {
        if (m_position == 0)
            return;
        i18n::Translation::startUp(program, m_position);
        m_resourceText.emplace(&i18n::TranslateResourceText);
        i18n::LanguageSetup();
    }
    ~ProgramCatalogs()
    {
        if (m_position == 0)
            return;
        m_resourceText.reset();
        i18n::Translation::shutDown();
    }
    ProgramCatalogs(const ProgramCatalogs &) = delete;
    ProgramCatalogs &operator=(const ProgramCatalogs &) = delete;

    bool loaded() const { return m_position != 0; }

private:
    std::uint64_t m_position;
    std::optional<ResourceTextInstalled> m_resourceText;
};
