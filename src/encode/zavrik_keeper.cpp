// zavrik-keeper: holds the output pipes of the encoders one Zavrik launches, and ends the
// encoders Zavrik asked to stop once their grace is over, whether Zavrik is still there or not.
// Zavrik starts it afresh (never as a copy of itself), so it holds nothing of Zavrik's memory.
// It uses the C library alone, which keeps it small.
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "encode/keeper_orders.h"

namespace {

// One encoder's pipe, or one encoder to end after its grace.
struct Kept {
  pid_t pid;
  int output;        // read end of its output pipe, -1 when none (any more)
  bool let_go;       // Zavrik reads no more: this drains the pipe
  int process;       // its pidfd while its end is awaited, else -1
  long long end_at;  // when its group is killed, in ms on the monotonic clock
};

Kept* kept = nullptr;
size_t kept_count = 0;
size_t kept_capacity = 0;
int orders = kKeeperOrders;  // -1 once Zavrik has gone
int wake = kKeeperWake;      // likewise

long long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

void Close(int* descriptor) {
  if (*descriptor >= 0) close(*descriptor);
  *descriptor = -1;
}

bool Add(const Kept& item) {
  if (kept_count == kept_capacity) {
    const size_t capacity = kept_capacity == 0 ? 8 : kept_capacity * 2;
    void* grown = realloc(kept, capacity * sizeof(Kept));
    if (grown == nullptr) return false;
    kept = static_cast<Kept*>(grown);
    kept_capacity = capacity;
  }
  kept[kept_count++] = item;
  return true;
}

// The newest pipe of `pid` that Zavrik still reads: an id may come again once its process has
// been collected.
Kept* ReadByZavrik(pid_t pid) {
  for (size_t i = kept_count; i-- > 0;) {
    if (kept[i].pid == pid && kept[i].output >= 0 && !kept[i].let_go) return &kept[i];
  }
  return nullptr;
}

void Obey(const KeeperOrder& order, int descriptor) {
  if (order.kind == kKeepOutput && descriptor >= 0) {
    if (Add({order.pid, descriptor, false, -1, 0})) return;
  } else if (order.kind == kEndAfterGrace && descriptor >= 0 && order.pid > 1) {
    if (Add({order.pid, -1, true, descriptor, NowMs() + kStopGraceMs})) return;
  } else if (order.kind == kLetGoOfOutput) {
    if (Kept* item = ReadByZavrik(order.pid)) item->let_go = true;
  }
  if (descriptor >= 0) close(descriptor);
}

void LetGoOfEverything() {
  Close(&orders);
  Close(&wake);
  for (size_t i = 0; i < kept_count; ++i) kept[i].let_go = true;
}

// Takes the next order, if there is one; false when there is none now. Once Zavrik has gone and
// its last orders have been taken, lets go of every pipe.
bool ReadOrder() {
  KeeperOrder order{};
  iovec data{&order, sizeof order};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t size = recvmsg(orders, &message, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
  if (size < 0 && errno == EINTR) return true;
  if (size < 0 && errno == EAGAIN) return false;
  int descriptor = -1;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
       header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
      memcpy(&descriptor, CMSG_DATA(header), sizeof descriptor);
    }
  }
  if (size <= 0) {
    if (descriptor >= 0) close(descriptor);
    LetGoOfEverything();
    return false;
  }
  if (size != ssize_t(sizeof order)) order.kind = 0;
  Obey(order, descriptor);
  return true;
}

// Woken: empties the wake pipe, then takes every order that waits.
void Wake() {
  char bytes[64];
  while (read(wake, bytes, sizeof bytes) > 0) {
  }
  while (orders >= 0 && ReadOrder()) {
  }
}

// Reads and drops what is there; closes the pipe once every writer has closed it.
void Drain(Kept& item) {
  char block[4096];
  for (;;) {
    const ssize_t count = read(item.output, block, sizeof block);
    if (count > 0) continue;
    if (count < 0 && errno == EINTR) continue;
    if (count == 0 || errno != EAGAIN) Close(&item.output);
    return;
  }
}

bool HasEnded(int process) {
  pollfd ended{process, POLLIN, 0};
  return poll(&ended, 1, 0) > 0;
}

// Kills the group of an encoder whose grace is over. Its pidfd tells that it has not ended, so
// its id still names it and its group.
void EndIfDue(Kept& item, long long now) {
  if (item.process < 0 || now < item.end_at) return;
  if (!HasEnded(item.process)) kill(-item.pid, SIGKILL);
  Close(&item.process);
}

void Forget(size_t index) {
  Close(&kept[index].output);
  Close(&kept[index].process);
  kept[index] = kept[--kept_count];
}

int Timeout(long long now) {
  long long soonest = -1;
  for (size_t i = 0; i < kept_count; ++i) {
    if (kept[i].process < 0) continue;
    const long long wait = kept[i].end_at > now ? kept[i].end_at - now : 0;
    if (soonest < 0 || wait < soonest) soonest = wait;
  }
  return int(soonest);
}

// Waits for an order, output, an encoder's end or a grace that runs out, and handles what came.
bool Turn(pollfd*& waits, size_t& waits_capacity) {
  const size_t needed = 1 + 2 * kept_count;
  if (needed > waits_capacity) {
    void* grown = realloc(waits, needed * sizeof(pollfd));
    if (grown == nullptr) return false;
    waits = static_cast<pollfd*>(grown);
    waits_capacity = needed;
  }
  waits[0] = {wake, POLLIN, 0};
  for (size_t i = 0; i < kept_count; ++i) {
    // While Zavrik reads, an empty event set still tells when every writer has closed the pipe.
    waits[1 + 2 * i] = {kept[i].output, short(kept[i].let_go ? POLLIN : 0), 0};
    waits[2 + 2 * i] = {kept[i].process, POLLIN, 0};
  }
  if (poll(waits, nfds_t(needed), Timeout(NowMs())) < 0 && errno != EINTR) return false;
  const size_t before = kept_count;
  for (size_t i = 0; i < before; ++i) {
    Kept& item = kept[i];
    if (waits[1 + 2 * i].revents != 0) {
      if (item.let_go) {
        Drain(item);
      } else if ((waits[1 + 2 * i].revents & (POLLHUP | POLLERR)) != 0) {
        Close(&item.output);  // no writer is left; Zavrik reads the rest itself
      }
    }
    if (waits[2 + 2 * i].revents != 0) Close(&item.process);  // ended in time
    EndIfDue(item, NowMs());
  }
  if (waits[0].revents != 0) Wake();
  for (size_t i = kept_count; i-- > 0;) {
    if (kept[i].output < 0 && kept[i].process < 0) Forget(i);
  }
  return true;
}

}  // namespace

int main() {
  // Whatever else came from Zavrik is none of the keeper's business: a pipe's read end held here
  // would keep its writer from learning that its reader has gone.
  close_range(kKeeperWake + 1, ~0U, 0);
  pollfd* waits = nullptr;
  size_t waits_capacity = 0;
  while (wake >= 0 || kept_count > 0) {
    if (!Turn(waits, waits_capacity)) return 1;
  }
  free(waits);
  free(kept);
  return 0;
}
