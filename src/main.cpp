#include "mainwindow/datalocation.h"
#include "mainwindow/form1.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const std::unique_ptr<Form1> form = startProgram([] { return locateData(); });
    if (!form)
        return 1;
    form->show();
    return app.exec();
}
