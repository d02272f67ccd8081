#include "data/failure.h"
#include "mainwindow/datalocation.h"
#include "mainwindow/fatal.h"
#include "mainwindow/form1.h"
#include "mainwindow/programfont.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::unique_ptr<Form1> form;
    try {
        const DataLocation location = locateData();
        loadProgramFonts(location.shippedFolder);
        form = std::make_unique<Form1>();
        form->dataFile = location.dataFile;
        form->picturesFolder = location.shippedFolder;
        form->Form_Load();
    } catch (const Failure &failure) {
        showFailure(failure);
        return 1;
    }
    form->show();
    return app.exec();
}
