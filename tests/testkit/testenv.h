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
        QDir(root.path()).mkpath(QStringLiteral("config"));
        QDir(root.path()).mkpath(QStringLiteral("work"));
        QDir(root.path()).mkpath(QStringLiteral("tmp"));
        qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toLocal8Bit());
        // QDir::tempPath() follows it.
        qputenv("TMPDIR", root.filePath(QStringLiteral("tmp")).toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QDir::setCurrent(root.filePath(QStringLiteral("work")));
    }
    QString configDir() const { return root.filePath(QStringLiteral("config")); }
    QString workDir() const { return root.filePath(QStringLiteral("work")); }
    QString tempDir() const { return root.filePath(QStringLiteral("tmp")); }
    QString settingsFile() const
    {
        return root.filePath(QStringLiteral("config/Orvane/TARN.conf"));
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
