#include "frmabout.h"

#include "mainwindow/form1.h"

frmAbout::frmAbout(QWidget *parent) : QDialog(parent) {}

void Form1::mnuAbout_Click() {}
