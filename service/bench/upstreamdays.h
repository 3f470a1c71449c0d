#pragma once

class StandInUpstream;

// The upstream calls of one machine in a day at the board's schedule: all
// day, with one city always failing, and with the board's pauses in which
// the socket unit's service ends.
void reportDaysOfCalls(StandInUpstream &upstream);

// What an outage of a whole UTC day costs one machine whose board stays
// open: the weighted calls charged to the day's budget, the calls that
// reached the upstream, and when the budget ran out; and, with the network
// back late in the evening, how soon the board has fresh documents again.
void reportOutageDays(StandInUpstream &upstream);
