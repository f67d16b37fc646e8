#include "i18n/ToolkitTranslator.h"

#include "i18n/Translation.h"
#include "platform/Errors.h"

namespace i18n {

QString TToolkitTranslator::translate(const char *, const char *sourceText, const char *,
                                      int) const
{
    if (!sourceText || !*sourceText)
        return {};
    const QString text = QString::fromUtf8(sourceText);
    QString translated;
    try {
        translated = TranslateResourceText(text);
    } catch (const platform::TfError &error) {
        // Qt's own code cannot take an exception in the middle of building a dialog; the
        // text then stays Qt's own, and the program tells of the damage once.
        Translation::reportCatalogError(error);
        return {};
    }
    if (translated == text)
        return {};
    // Qt's texts break lines with LF alone.
    translated.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return translated;
}

} // namespace i18n
