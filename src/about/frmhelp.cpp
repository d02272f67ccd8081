#include "frmhelp.h"

#include "mainwindow/form1.h"

frmhelp::frmhelp(QWidget *parent) : QWidget(parent) {}

void Form1::mnuHelpScreen_Click() {}
