#pragma once

#include <QTranslator>

namespace i18n {

// Installed on the application, it passes every text Qt asks for through the resource
// string domains ("default" first, then "toolkit"), from any thread.
//
// Qt asks with a context, the text and a plural count. The "toolkit" catalog is keyed by
// the text alone: its build drops Qt's contexts, keeping the first translation of a text
// that several contexts share, and Debian's German Qt catalog has no plural forms, so
// a counted text is looked up as it stands and Qt fills in %n afterwards. Formatted texts
// are looked up with their %1 markers, which the translations keep, and Qt fills them in.
class TToolkitTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char *context, const char *sourceText,
                      const char *disambiguation = nullptr, int n = -1) const override;
    bool isEmpty() const override { return false; }
};

} // namespace i18n
