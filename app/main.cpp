#include "app/main_window.h"
#include "sound/sound_device.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonmiro"));
    // The captions and legends ask for the Song face by its Windows name; elsewhere a Song face
    // that holds the enclosed numerals stands in for it.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("AR PL UMing TW"), QStringLiteral("WenQuanYi Micro Hei")});

    // Program lifetime: destroyed after the window is gone, which stops every voice still sounding.
    tonmiro::sound::SoundDevice sound;
    tonmiro::app::MainWindow window(sound);
    QObject::connect(&window, &tonmiro::app::MainWindow::closed, &app, &QCoreApplication::quit);
    window.show();
    return QApplication::exec();
}
