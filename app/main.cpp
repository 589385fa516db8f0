#include "app/main_window.h"
#include "sound/sound_device.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonmiro"));

    // Program lifetime: destroyed after the window is gone, which stops every voice still sounding.
    tonmiro::sound::SoundDevice sound;
    tonmiro::app::MainWindow window(sound);
    QObject::connect(&window, &tonmiro::app::MainWindow::closed, &app, &QCoreApplication::quit);
    window.show();
    return QApplication::exec();
}
