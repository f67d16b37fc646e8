// The form translation of TTranslationEngine: a breadth-first walk over Qt's meta-object
// system that replaces every text property by its translation.

#include "i18n/TranslationEngine.h"

#include "i18n/FormTexts.h"
#include "i18n/Retranslator.h"
#include "i18n/TranslationMarker.h"
#include "platform/Errors.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaProperty>
#include <QObject>

#include <algorithm>

namespace i18n {

QString PropertyDisappearedText(const QString &className)
{
    return QStringLiteral("Property disappeared when retranslating an object of class ") +
           className + QLatin1Char('.');
}

QString PropertyCannotBeTranslatedText(const QString &className, const QString &propertyName,
                                       const QString &reason)
{
    return QStringLiteral("Property cannot be translated.\r\nUse IgnoreClassProperty(") +
           className + QLatin1Char(',') + propertyName + QStringLiteral(") or") +
           QStringLiteral("\r\n") + QStringLiteral("IgnoreProperty (self,'.") + propertyName +
           QStringLiteral("') to prevent this message.") + QStringLiteral("\r\n") +
           QStringLiteral("Reason: ") + reason;
}

QString QtLineBreaks(QString text)
{
    // The catalogs' translations come with CR LF; Qt's widgets break lines at LF alone
    // and would show the CR.
    if (text.contains(u'\r'))
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

namespace {

// Ends a walk however it ends: the per-call ignores go, and nothing records any more.
class WalkEnd
{
public:
    WalkEnd(QSet<QString> &ignores, TRetranslator *&retranslator)
        : m_ignores(ignores), m_retranslator(retranslator)
    {
    }
    ~WalkEnd()
    {
        m_ignores.clear();
        m_retranslator = nullptr;
    }
    WalkEnd(const WalkEnd &) = delete;
    WalkEnd &operator=(const WalkEnd &) = delete;

private:
    QSet<QString> &m_ignores;
    TRetranslator *&m_retranslator;
};

} // namespace

void TTranslationEngine::AddInitialIgnores()
{
    // An object's name is what the program finds it by, never a caption.
    IgnoreClassProperty(&QObject::staticMetaObject, QStringLiteral("objectName"));
    // Values rather than captions: a combo box's current text is its selection (setting
    // it again after a change of language would select another item), and a line edit's
    // text is what the user typed (the distance field's among them).
    IgnoreClassProperty(&QComboBox::staticMetaObject, QStringLiteral("currentText"));
    IgnoreClassProperty(&QLineEdit::staticMetaObject, QStringLiteral("text"));
    // Until set, an action's icon text and tool tip are read from its text: translated
    // and recorded on their own they would keep the first language's text for good.
    IgnoreClassProperty(&QAction::staticMetaObject, QStringLiteral("iconText"));
    IgnoreClassProperty(&QAction::staticMetaObject, QStringLiteral("toolTip"));
}

void TTranslationEngine::IgnoreClassProperty(const QMetaObject *metaClass,
                                             const QString &propertyName)
{
    m_plans.clear();
    const QString name = propertyName.toUpper();
    const auto addTo = [&name](QStringList &names) {
        const auto at = std::lower_bound(names.begin(), names.end(), name);
        if (at == names.end() || *at != name)
            names.insert(at, name);
    };
    for (auto entry = m_classIgnores.begin(); entry != m_classIgnores.end(); ++entry) {
        if (entry->metaClass == metaClass) {
            addTo(entry->propertyNames);
            return;
        }
        if (metaClass->inherits(entry->metaClass)) {
            m_classIgnores.insert(entry, TClassIgnoreEntry{metaClass, {name}});
            return;
        }
    }
    m_classIgnores.push_back(TClassIgnoreEntry{metaClass, {name}});
}

void TTranslationEngine::IgnoreProperty(const QString &key)
{
    m_perCallIgnores.insert(key.toUpper());
}

void TTranslationEngine::TranslateComponentTexts(QObject *component, const QString &domain)
{
    if (!component)
        return;
    QObject *named = nullptr;
    for (QObject *child : component->children()) {
        if (child->objectName() == QLatin1StringView(TTranslationMarker::markerName)) {
            named = child;
            break;
        }
    }
    if (!named) {
        auto marker =
            std::make_unique<TTranslationMarker>(std::make_unique<TRetranslator>(this));
        m_retranslator = marker->Retranslator();
        TranslateObjectProperties(component, domain);
        // Added only now, so that the walk never meets it; a failed walk leaves none.
        marker->SetMarkerLanguage(CurrentLanguage());
        marker.release()->setParent(component);
        return;
    }
    auto *marker = qobject_cast<TTranslationMarker *>(named);
    if (!marker)
        throw platform::TfError(QStringLiteral("Invalid class typecast"));
    const QString language = CurrentLanguage();
    if (marker->MarkerLanguage() != language)
        marker->Retranslator()->Run();
    marker->SetMarkerLanguage(language);
}

void TTranslationEngine::TranslateObjectProperties(QObject *object, const QString &domain)
{
    const WalkEnd end(m_perCallIgnores, m_retranslator);
    const QString textDomain = domain.isEmpty() ? m_currentDomain : domain;
    if (m_retranslator)
        m_retranslator->SetTextDomain(textDomain);

    QSet<const QObject *> done;
    TQueue queue{{QString(), object}};
    while (!queue.empty()) {
        const auto [name, current] = queue.front();
        queue.pop_front();
        if (!current || done.contains(current))
            continue;
        done.insert(current);

        const QMetaObject *meta = current->metaObject();
        for (const TPropertyPlan &plan : PlanFor(meta)) {
            if (!m_perCallIgnores.isEmpty() &&
                m_perCallIgnores.contains(name + QLatin1Char('.') + plan.upperName))
                continue;
            TranslatePropertyValue(current, meta->property(plan.index), queue, textDomain);
        }
        for (QObject *child : current->children()) {
            QString childName = child->objectName().toUpper();
            if (!m_perCallIgnores.contains(childName))
                queue.emplace_back(std::move(childName), child);
        }
    }
}

const std::vector<TTranslationEngine::TPropertyPlan> &
TTranslationEngine::PlanFor(const QMetaObject *meta)
{
    // A window's objects share a few dozen classes of some sixty properties each; the
    // walk looks at the text, string-list and object properties that no class ignore
    // excludes, worked out once per class.
    auto plan = m_plans.find(meta);
    if (plan != m_plans.end())
        return *plan;
    QSet<QString> exclusions;
    for (const TClassIgnoreEntry &entry : m_classIgnores) {
        if (meta->inherits(entry.metaClass)) {
            for (const QString &property : entry.propertyNames)
                exclusions.insert(property);
        }
    }
    std::vector<TPropertyPlan> properties;
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QMetaType type = property.metaType();
        if (type.id() != QMetaType::QString && type.id() != QMetaType::QStringList &&
            !(type.flags() & QMetaType::PointerToQObject))
            continue;
        // Property names are ASCII.
        QString upper = QString::fromLatin1(QByteArray(property.name()).toUpper());
        if (!exclusions.contains(upper))
            properties.push_back({i, std::move(upper)});
    }
    return *m_plans.insert(meta, std::move(properties));
}

void TTranslationEngine::TranslatePropertyValue(QObject *object, const QMetaProperty &property,
                                                TQueue &queue, const QString &domain)
{
    const QMetaType type = property.metaType();
    try {
        if (type.id() == QMetaType::QString) {
            if (!property.isReadable())
                return;
            const QString value = property.read(object).toString();
            if (value.isEmpty() || !property.isWritable())
                return;
            if (m_retranslator)
                m_retranslator->RecordValue(object, property.name(), value);
            const QString translated = QtLineBreaks(TranslateInDomain(domain, value));
            if (translated == value)
                return;
            const QMetaObject *meta = object->metaObject();
            const int index = meta->indexOfProperty(property.name());
            if (index < 0)
                throw platform::TfError(
                    PropertyDisappearedText(QString::fromLatin1(meta->className())));
            meta->property(index).write(object, translated);
        } else if (type.id() == QMetaType::QStringList) {
            // The string-list case: lines one by one, assigned back even when none changed.
            if (!property.isReadable() || !property.isWritable())
                return;
            const QStringList lines = property.read(object).toStringList();
            const QString text = lines.join(u'\n');
            if (!text.isEmpty() && m_retranslator)
                m_retranslator->RecordValue(object, property.name(), text, true);
            property.write(object, TranslateStringList(lines, domain));
        } else if (type.flags() & QMetaType::PointerToQObject) {
            if (!property.isReadable())
                return;
            if (QObject *target = property.read(object).value<QObject *>())
                queue.emplace_back(QString(), target);
        }
    } catch (const platform::TfError &error) {
        throw platform::TfError(
            PropertyCannotBeTranslatedText(QString::fromLatin1(object->metaObject()->className()),
                                           QString::fromLatin1(property.name()), error.message()));
    }
}

QStringList TTranslationEngine::TranslateStringList(const QStringList &lines,
                                                    const QString &domain)
{
    QStringList translated = lines;
    for (QString &line : translated) {
        if (!line.isEmpty())
            line = QtLineBreaks(TranslateInDomain(domain, line));
    }
    return translated;
}

} // namespace i18n
