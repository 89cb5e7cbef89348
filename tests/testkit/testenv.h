#pragma once

#include <QTemporaryDir>
#include <QtTest>

#include "app/translation.h"

#include <cstdlib>

// Gives a test executable its own settings store, current directory and temporary folder, made
// before the application object exists, so that no test sees another's files or the operator's
// settings.
class TestEnvironment
{
public:
    TestEnvironment()
    {
        if (!root.isValid())
            std::abort();
        for (const char *folder : {"config", "work", "tmp"})
            QDir(root.path()).mkpath(QLatin1String(folder));
        qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toLocal8Bit());
        // QDir::tempPath() follows it.
        qputenv("TMPDIR", root.filePath(QStringLiteral("tmp")).toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QDir::setCurrent(root.filePath(QStringLiteral("work")));
    }

private:
    QTemporaryDir root;
};

// Like QTEST_MAIN, with the isolated environment above and the library's resources registered.
#define TARN_TEST_MAIN(TestObject)                                                                 \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TestEnvironment environment;                                                               \
        QApplication app(argc, argv);                                                              \
        initTarnResources();                                                                       \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
