#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Texts the framework loads when an error is raised pass through this hook, so a
// translation engine installed at start-up can show them in the user's language.
using ResourceTextHook = QString (*)(const QString &text);

QString resourceText(const QString &text);
// Translates first, then fills each "%s" in turn, so that no argument is ever taken for a
// placeholder.
QString resourceText(const char *text, const QStringList &args);
// nullptr restores the untranslated texts.
void setResourceTextHook(ResourceTextHook hook);

} // namespace platform
