// The yardstick of the program's start-up: a bare Qt main window (menu bar, toolbar, status bar, an empty
// central widget) of the program's size, started, shown, rendered once and saved as kavo --screenshot does,
// then ended.
//   bare_window FILE.bmp
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: bare_window FILE.bmp\n", stderr);
        return 2;
    }
    const QString picture = QString::fromLocal8Bit(argv[1]);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("&File"));
    window.addToolBar(QStringLiteral("toolbar"));
    window.statusBar()->showMessage(QStringLiteral("Ready"));
    window.setCentralWidget(new QLabel);
    window.resize(1100, 640);
    window.show();
    int code = 0;
    // The same wait as kavo --screenshot: the window lays itself out and paints, then is grabbed once.
    QTimer::singleShot(300, &app, [&] {
        if (!window.grab().save(picture)) {
            code = 1;
        }
        app.quit();
    });
    app.exec();
    return code;
}
