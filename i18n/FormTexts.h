#pragma once

#include <QString>

namespace i18n {

// Texts of the form translation. Its errors stay English: they name classes and
// properties for the program's developer.
QString PropertyDisappearedText(const QString &className);
QString PropertyCannotBeTranslatedText(const QString &className, const QString &propertyName,
                                       const QString &reason);

// A translation with the line breaks that Qt's widgets expect (LF alone).
QString QtLineBreaks(QString text);

} // namespace i18n
