#include "frmruneinfo.h"

#include "mainwindow/form1.h"

FrmRuneInfo::FrmRuneInfo(QWidget *parent) : QDialog(parent) {}

void Form1::mnuruneprop_Click() {}
