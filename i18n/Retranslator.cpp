#include "i18n/Retranslator.h"

#include "i18n/FormTexts.h"
#include "i18n/TranslationEngine.h"
#include "platform/Errors.h"

#include <QMetaProperty>
#include <QObject>

namespace i18n {

void TRetranslator::RecordValue(QObject *object, const QByteArray &propertyName,
                                const QString &value, bool stringList)
{
    m_items.push_back({object, QString::fromLatin1(object->metaObject()->className()),
                       propertyName, value, stringList});
}

void TRetranslator::Run()
{
    // Nothing records during a run: the engine has no current retranslator.
    for (const TRetranslatorItem &item : m_items) {
        QObject *object = item.object.data();
        if (!object)
            throw platform::TfError(PropertyDisappearedText(item.className));
        const QMetaObject *meta = object->metaObject();
        const int index = meta->indexOfProperty(item.propertyName.constData());
        if (index < 0)
            throw platform::TfError(
                PropertyDisappearedText(QString::fromLatin1(meta->className())));
        const QMetaProperty property = meta->property(index);
        if (item.stringList) {
            property.write(object, m_engine->TranslateStringList(item.value.split(u'\n'),
                                                                 m_textDomain));
        } else {
            property.write(object,
                           QtLineBreaks(m_engine->TranslateInDomain(m_textDomain, item.value)));
        }
    }
}

} // namespace i18n
