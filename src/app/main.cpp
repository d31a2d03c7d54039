#include "mainwindow.h"

#include <QApplication>

#include <csignal>

int main(int argc, char **argv)
{
#ifdef SIGXFSZ
    // A save beyond the process's file-size limit must fail like any other
    // short write, which the editor reports and recovers from, instead of
    // ending the program with the user's work.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
