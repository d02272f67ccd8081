#include "dialog.h"

#include "mainwindow/form1.h"

Dialog::Dialog(Form1 *form) : QDialog(form), form_(form) {}
