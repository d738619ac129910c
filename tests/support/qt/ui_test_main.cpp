// Entry point of the drawing tests: painting, fonts and widgets need a QApplication, which runs
// offscreen unless the environment chooses a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Test discovery runs this program outside ctest's environment; a private runtime folder
    // (mode 0700, as Qt wants it) goes away with the process.
    QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/brimwick-ui-runtime-XXXXXX"));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
