// A qv::Device that records every command it is handed and answers through
// a replaceable responder, for tests of the transport and of the code that
// drives it.
#pragma once
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/storage.h"

namespace sievex_test {

struct SentCommand {
  std::vector<uint8_t> cdb;  // cdbLength bytes
  qv::ScsiDirection direction = qv::ScsiDirection::kNone;
  const void* data = nullptr;
  uint32_t dataLength = 0;
  uint32_t timeoutSeconds = 0;
  uint8_t senseLength = 0;
  std::vector<uint8_t> dataOut;  // what an out command carried
};

using Responder = std::function<qv::ScsiResult(const qv::ScsiCommand&)>;

// Delivered with good status; data-in commands get `fill` in every byte.
inline Responder AnswerWith(uint8_t fill, bool delivered = true, uint8_t status = 0) {
  return [=](const qv::ScsiCommand& c) {
    qv::ScsiResult r;
    r.delivered = delivered;
    r.scsiStatus = status;
    if (delivered && c.direction == qv::ScsiDirection::kIn && c.data)
      std::memset(c.data, fill, c.dataLength);
    r.bytesMoved = delivered ? c.dataLength : 0;
    return r;
  };
}

class RecordingDevice : public qv::Device {
 public:
  explicit RecordingDevice(std::shared_ptr<std::vector<SentCommand>> log =
                               std::make_shared<std::vector<SentCommand>>(),
                           Responder responder = AnswerWith(0xA5))
      : log_(std::move(log)), responder_(std::move(responder)) {}

  qv::ScsiResult PassThrough(const qv::ScsiCommand& c) override {
    SentCommand sent;
    sent.cdb.assign(c.cdb, c.cdb + c.cdbLength);
    sent.direction = c.direction;
    sent.data = c.data;
    sent.dataLength = c.dataLength;
    sent.timeoutSeconds = c.timeoutSeconds;
    sent.senseLength = c.senseLength;
    if (c.direction == qv::ScsiDirection::kOut && c.data)
      sent.dataOut.assign(static_cast<const uint8_t*>(c.data),
                          static_cast<const uint8_t*>(c.data) + c.dataLength);
    log_->push_back(std::move(sent));
    return responder_(c);
  }
  bool QueryBusType(uint32_t* busType) override {
    *busType = busType_;
    return busQueryWorks_;
  }
  bool GetDeviceNumber(qv::DeviceNumber* number) override {
    number->deviceNumber = diskNumber_;
    return true;
  }

  void SetResponder(Responder r) { responder_ = std::move(r); }
  const std::vector<SentCommand>& Log() const { return *log_; }
  std::shared_ptr<std::vector<SentCommand>> SharedLog() const { return log_; }

  uint32_t busType_ = qv::kBusUsb;
  bool busQueryWorks_ = true;
  uint32_t diskNumber_ = 1;

 private:
  std::shared_ptr<std::vector<SentCommand>> log_;
  Responder responder_;
};

}  // namespace sievex_test
