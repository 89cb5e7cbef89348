#include "app/translation.h"

#include <QApplication>
#include <QFont>
#include <QTextCodec>
#include <QTranslator>

namespace {
const char *const CatalogueDirectory = ":translations";
const char *const SimplifiedCatalogue = "sc.qm";
const char *const TraditionalCatalogue = "tc.qm";
// Font family name under which the platform's font matching picks a face with CJK glyphs.
const char *const ChineseFontFamily = "UTF-8";
} // namespace

void initTarnResources()
{
    Q_INIT_RESOURCE(tarn);
    Q_INIT_RESOURCE(translations);
}

void updateTranslation(int index)
{
    // One translator for the life of the process, whatever language is installed.
    static QTranslator translator;

    const char *catalogue = nullptr;
    if (index == LanguageSimplifiedChinese)
        catalogue = SimplifiedCatalogue;
    else if (index == LanguageTraditionalChinese)
        catalogue = TraditionalCatalogue;
    else
        return;

    QApplication::setFont(QFont(QString::fromLatin1(ChineseFontFamily)));
    // A catalogue that does not load leaves the texts in English.
    translator.load(QString::fromLatin1(catalogue), QString::fromLatin1(CatalogueDirectory));
    QCoreApplication::installTranslator(&translator);
}

void installLanguage(int index)
{
    updateTranslation(index);
    if (index != LanguageSimplifiedChinese && index != LanguageTraditionalChinese)
        return;
    if (QTextCodec *codec = QTextCodec::codecForName("UTF-8"))
        QTextCodec::setCodecForLocale(codec);
}
