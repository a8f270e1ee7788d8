#pragma once

// What Zavrik tells zavrik-keeper, the small program that keeps its encoders going whatever
// becomes of Zavrik. Plain C++ without Qt: the keeper includes it too.
//
// One keeper serves one Zavrik. It reads its orders from a local SOCK_SEQPACKET socket on
// descriptor kKeeperOrders, one KeeperOrder per message, a descriptor passed with some of them.
// It reads them when a byte arrives in the pipe on kKeeperWake, which Zavrik writes after each
// order that cannot wait; orders to keep a pipe wait in the socket until then. When Zavrik ends,
// however it ends, the wake pipe reports its end, and the keeper reads what orders are left and
// lets go of every encoder as if told to.

#include <stdint.h>

inline constexpr int kKeeperOrders = 3;
inline constexpr int kKeeperWake = 4;

// How long an encoder asked to stop (SIGTERM to its group) may take to clean up before its group
// is killed (SIGKILL).
inline constexpr int kStopGraceMs = 2000;

enum KeeperOrderKind : uint8_t {
  // Comes with the read end of the encoder's output pipe. The keeper holds it and reads nothing
  // while Zavrik reads: a pipe with a reader never ends its writer by SIGPIPE.
  kKeepOutput = 'k',
  // Zavrik reads no more of `pid`'s output: the keeper reads and drops whatever the encoder and
  // what it started still write, until every writer has closed the pipe, so nothing blocks on
  // a full pipe.
  kLetGoOfOutput = 'l',
  // Comes with a pidfd of `pid`, whose group has just been asked to stop: unless `pid` has ended
  // after kStopGraceMs, the keeper kills its group.
  kEndAfterGrace = 'e',
};

struct KeeperOrder {
  uint8_t kind;
  int32_t pid;
};
