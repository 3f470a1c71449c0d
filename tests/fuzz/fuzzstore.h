#pragma once

#include "platform/datacontrol.h"

// A store file made once per process, in a scratch folder removed at exit,
// with all rows of "select * from wt". Inputs edit its first row; making a
// store per input would measure SQLite's file creation, not the write rules.
Recordset &fuzzStoreRows();
