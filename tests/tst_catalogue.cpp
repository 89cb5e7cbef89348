#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "testkit/testenv.h"

namespace {
// The folders whose sources hold operator-visible texts.
const QStringList SourceFolders = {"app", "server", "client", "image", "transfer", "ui"};
const QStringList Catalogues = {"sc.ts", "tc.ts"};
constexpr int LupdateTimeoutMs = 60000;
constexpr int ListedAtMost = 40;

struct Message
{
    QString context;
    QString source;
    QString translation;
    QString type;
};

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

QList<Message> readCatalogue(const QString &path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("message"))
            message = Message{context, QString(), QString(), QString()};
        else if (xml.name() == QLatin1String("source"))
            message.source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation")) {
            message.type = xml.attributes().value("type").toString();
            message.translation = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            messages << message;
        }
    }
    if (xml.hasError())
        qWarning("%s: %s", qPrintable(path), qPrintable(xml.errorString()));
    return messages;
}

QStringList placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%L?\\d+"));
    QStringList found;
    auto it = marker.globalMatch(text);
    while (it.hasNext())
        found << it.next().captured();
    found.sort();
    return found;
}
} // namespace

// Every text of the sources must have a finished translation in both catalogues. Checked on
// copies brought up to date with the sources, so the catalogues in the tree stay untouched.
class TestCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTextIsTranslated_data();
    void everyTextIsTranslated();

private:
    QTemporaryDir copies;
};

void TestCatalogue::initTestCase()
{
    QVERIFY(copies.isValid());
    const QDir source(QStringLiteral(TARN_SOURCE_DIR));
    QStringList arguments = {"-no-obsolete", "-locations", "none", "-I", source.path()};
    for (const QString &folder : SourceFolders)
        if (source.exists(folder))
            arguments << source.filePath(folder);
    arguments << "-ts";
    for (const QString &name : Catalogues) {
        const QString copy = copies.filePath(name);
        QVERIFY(QFile::copy(source.filePath("resources/translations/" + name), copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        arguments << copy;
    }
    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(TARN_LUPDATE), arguments);
    QVERIFY2(lupdate.waitForFinished(LupdateTimeoutMs), qPrintable(lupdate.errorString()));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAll().constData());
}

void TestCatalogue::everyTextIsTranslated_data()
{
    QTest::addColumn<QString>("catalogue");
    for (const QString &name : Catalogues)
        QTest::newRow(qPrintable(name)) << name;
}

void TestCatalogue::everyTextIsTranslated()
{
    QFETCH(QString, catalogue);
    const QList<Message> messages = readCatalogue(copies.filePath(catalogue));
    QVERIFY(!messages.isEmpty());
    QStringList faults;
    for (const Message &m : messages) {
        if (m.type == QLatin1String("unfinished") || m.translation.isEmpty())
            faults << QStringLiteral("untranslated  %1: \"%2\"").arg(m.context, oneLine(m.source));
        else if (placeholders(m.source) != placeholders(m.translation))
            faults << QStringLiteral("placeholders  %1: \"%2\"").arg(m.context, oneLine(m.source));
    }
    const int total = faults.size();
    if (faults.size() > ListedAtMost)
        faults = faults.mid(0, ListedAtMost) << QStringLiteral("...");
    QVERIFY2(total == 0, qPrintable(QStringLiteral("%1 of %2 messages in %3:\n")
                                        .arg(total)
                                        .arg(messages.size())
                                        .arg(catalogue) +
                                    faults.join('\n')));
}

TARN_TEST_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
