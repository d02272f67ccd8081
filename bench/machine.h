#pragma once

#include <QString>

// VmHWM, the peak resident set, in kB; writing 5 to clear_refs starts it afresh.
long peakResidentKb();
void resetPeakResident();

// What the table's heading says of the machine.
QString cpuModel();
double memoryGiB();
int processors();
