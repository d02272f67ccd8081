#pragma once

#include <QString>

// The peak resident set since the last reset, in kB; 0 where the system does not tell.
long peakResidentKb();
void resetPeakResident();

// The machine as the table's heading describes it; "unknown" where the system does not tell.
QString machine();
