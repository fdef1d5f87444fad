// The SharedBlock "qlapi_shared_mem": 65,536 bytes through which every
// transfer side hands its receipts to the fetch thread, paced by the
// handshake byte at its end.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

enum Handshake : uint8_t { SHM_IDLE = 0, SHM_NAME = 1, SHM_SERVERINFO = 2, SHM_RECEIPT = 3 };

constexpr size_t kSharedBlockSize = 65536;
constexpr size_t kMessageArea = kSharedBlockSize - 1;

// Creates or opens the block for this process; false when it cannot be had.
bool openSharedBlock();
void closeSharedBlock();
bool sharedBlockOpen();

// The handshake byte: read with acquire, written with release ordering, so
// that the message written before it is seen complete.
Handshake handshake();
void setHandshake(Handshake value);

// Places a text (cut to the area) or raw bytes, then sets the byte.
void placeText(const char *text, Handshake then);
void placeBytes(const void *data, size_t size, Handshake then);
// The message area as text, or its first n bytes.
std::string messageText();
std::string messageBytes(size_t n);

// Polls every pollMs until the handshake byte is value; false when
// abandoned is set first.
bool waitForHandshake(Handshake value, unsigned pollMs, const std::atomic<bool> &abandoned);

// A library-side transfer places its first receipt with SHM_IDLE, which the
// fetch thread reads without moving the byte; its next receipt must wait
// until the fetch thread has taken the first.
void resetFirstReceipt();
void firstReceiptTaken();
// For a library-side transfer: waits until the fetch thread has taken its
// first receipt (a progress receipt may then replace an unread one); false
// when abandoned is set first.
bool waitForFirstReceiptTaken(const std::atomic<bool> &abandoned);
// For a library-side transfer: waits until its next receipt may be placed
// (the first was taken, the last consumed); false when abandoned is set.
bool waitToPlaceReceipt(const std::atomic<bool> &abandoned);

extern const char kDefaultSharedBlockName[];  // "qlapi_shared_mem"
