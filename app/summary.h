#pragma once
#include "output/format.h"
#include "smf/record.h"

// Prints the summary of a walked record: tempo, time signature, conductor
// track and one line per track the header announces.
void print_summary(const Record& rec, Encoding e);
