#pragma once

#include <QString>

// forecastd-bench --board: what a user waits for, with the real board and
// the real service in front of a stand-in upstream that answers after
// `delayMs`. Prints its figures; the program's exit status.
int runBoardCase(int delayMs, const QString &boardPath, const QString &forecastdPath);
