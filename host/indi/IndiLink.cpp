#include "host/indi/IndiLink.h"

#include <libindi/baseclient.h>
#include <libindi/basedevice.h>
#include <libindi/indiproperty.h>
#include <libindi/indipropertyblob.h>
#include <libindi/indipropertynumber.h>
#include <libindi/indipropertyswitch.h>
#include <libindi/indipropertytext.h>

#include <chrono>
#include <thread>

#include "base/Errors.h"

namespace np::indi {
namespace {

PropertyState stateOf(IPState s) {
  switch (s) {
    case IPS_IDLE: return PropertyState::Idle;
    case IPS_OK: return PropertyState::Ok;
    case IPS_BUSY: return PropertyState::Busy;
    case IPS_ALERT: return PropertyState::Alert;
  }
  return PropertyState::Idle;
}

std::string textOf(const char* text) { return text ? std::string(text) : std::string(); }

}  // namespace

// The library's client: every callback copies into the inbox and returns.
class LinkClient : public INDI::BaseClient {
 public:
  explicit LinkClient(Inbox& inbox) : inbox_(inbox) {}

 protected:
  void newDevice(INDI::BaseDevice device) override { inbox_.addDevice(textOf(device.getDeviceName())); }
  void removeDevice(INDI::BaseDevice device) override { inbox_.removeDevice(textOf(device.getDeviceName())); }
  void newProperty(INDI::Property property) override { copy(property); }
  void updateProperty(INDI::Property property) override { copy(property); }
  void removeProperty(INDI::Property property) override {
    inbox_.removeProperty(textOf(property.getDeviceName()), textOf(property.getName()));
  }
  void newMessage(INDI::BaseDevice device, int messageID) override {
    inbox_.publishMessage(textOf(device.getDeviceName()), device.messageQueue(static_cast<size_t>(messageID)));
  }
  void serverConnected() override { inbox_.serverReached(); }
  void serverDisconnected(int exitCode) override {
    inbox_.serverLost(exitCode == 0 ? "the connection was closed" : "the connection was lost (code " +
                                                                     std::to_string(exitCode) + ")");
  }

 private:
  void copy(INDI::Property property) {
    if (!property.isValid()) return;
    PropertySnapshot s;
    s.device = textOf(property.getDeviceName());
    s.name = textOf(property.getName());
    s.state = stateOf(property.getState());
    switch (property.getType()) {
      case INDI_NUMBER: {
        s.kind = PropertyKind::Number;
        for (const auto& e : *property.getNumber()) s.numbers.emplace_back(textOf(e.getName()), e.getValue());
        break;
      }
      case INDI_SWITCH: {
        s.kind = PropertyKind::Switch;
        for (const auto& e : *property.getSwitch())
          s.numbers.emplace_back(textOf(e.getName()), e.getState() == ISS_ON ? 1.0 : 0.0);
        break;
      }
      case INDI_TEXT: {
        s.kind = PropertyKind::Text;
        for (const auto& e : *property.getText()) s.texts.emplace_back(textOf(e.getName()), textOf(e.getText()));
        break;
      }
      case INDI_LIGHT: {
        s.kind = PropertyKind::Light;
        for (const auto& e : *property.getLight())
          s.numbers.emplace_back(textOf(e.getName()), static_cast<double>(stateOf(e.getState())));
        break;
      }
      case INDI_BLOB: {
        s.kind = PropertyKind::Blob;
        for (auto& e : *property.getBLOB()) {
          if (e.getBlob() && e.getBlobLen() > 0) {
            ReceivedImage image;
            image.device = s.device;
            image.element = textOf(e.getName());
            image.format = textOf(e.getFormat());
            const char* data = static_cast<const char*>(e.getBlob());
            image.bytes.assign(data, data + e.getBlobLen());
            inbox_.publishImage(std::move(image));
          }
        }
        break;
      }
      default:
        return;
    }
    inbox_.publish(std::move(s));
  }

  Inbox& inbox_;
};

Link::Link() : client_(std::make_unique<LinkClient>(inbox_)) {}

Link::~Link() { disconnect(); }

void Link::connect(const std::string& server, double timeoutSeconds) {
  server_ = server;
  std::string host = server;
  unsigned port = 7624;
  const auto colon = server.rfind(':');
  if (colon != std::string::npos) {
    host = server.substr(0, colon);
    const std::string digits = server.substr(colon + 1);
    char* end = nullptr;
    const unsigned long p = std::strtoul(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || p == 0 || p > 65535)
      throw RunTimeError("INDI server '" + server + "': the port must be a number from 1 to 65535");
    port = static_cast<unsigned>(p);
  }
  if (host.empty()) throw RunTimeError("INDI server '" + server + "': no host name");
  client_->setServer(host.c_str(), port);
  const double seconds = timeoutSeconds > 0 ? timeoutSeconds : 1.0;
  const auto whole = static_cast<uint32_t>(seconds);
  client_->setConnectionTimeout(whole, static_cast<uint32_t>((seconds - whole) * 1e6));
  // The server may still be starting (a service started just before this one): try
  // again until the time is up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!client_->connectServer()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      throw RunTimeError("cannot reach the INDI server at " + server + " (within " +
                         std::to_string(static_cast<int>(seconds)) + " s)");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  inbox_.serverReached();
}

void Link::disconnect() {
  if (client_ && client_->isServerConnected()) client_->disconnectServer();
}

void Link::receiveImagesOf(const std::string& device) {
  std::lock_guard lock(sendMutex_);
  client_->setBLOBMode(B_ALSO, device.c_str(), nullptr);
}

PropertySnapshot Link::known(const std::string& device, const std::string& property, PropertyKind kind) const {
  std::optional<PropertySnapshot> s = inbox_.property(device, property);
  if (!s) throw RunTimeError(device + " has no property " + property);
  if (s->kind != kind) throw RunTimeError(device + ": " + property + " is not of the expected kind");
  return *s;
}

void Link::sendSwitch(const std::string& device, const std::string& property, const std::string& on) {
  const PropertySnapshot s = known(device, property, PropertyKind::Switch);
  bool found = false;
  INDI::PropertySwitch out(s.numbers.size());
  out.setDeviceName(device.c_str());
  out.setName(property.c_str());
  for (std::size_t i = 0; i < s.numbers.size(); ++i) {
    out[i].setName(s.numbers[i].first.c_str());
    const bool isOn = s.numbers[i].first == on;
    found = found || isOn;
    out[i].setState(isOn ? ISS_ON : ISS_OFF);
  }
  if (!found) throw RunTimeError(device + ": " + property + " has no element " + on);
  std::lock_guard lock(sendMutex_);
  client_->sendNewSwitch(out);
}

void Link::sendNumbers(const std::string& device, const std::string& property,
                       const std::vector<std::pair<std::string, double>>& values) {
  const PropertySnapshot s = known(device, property, PropertyKind::Number);
  INDI::PropertyNumber out(s.numbers.size());
  out.setDeviceName(device.c_str());
  out.setName(property.c_str());
  std::size_t given = 0;
  for (std::size_t i = 0; i < s.numbers.size(); ++i) {
    out[i].setName(s.numbers[i].first.c_str());
    double value = s.numbers[i].second;
    for (const auto& [name, v] : values) {
      if (name == s.numbers[i].first) {
        value = v;
        ++given;
      }
    }
    out[i].setValue(value);
  }
  if (given != values.size()) throw RunTimeError(device + ": " + property + " lacks an element it was given");
  std::lock_guard lock(sendMutex_);
  client_->sendNewNumber(out);
}

void Link::sendText(const std::string& device, const std::string& property,
                    const std::vector<std::pair<std::string, std::string>>& values) {
  const PropertySnapshot s = known(device, property, PropertyKind::Text);
  INDI::PropertyText out(s.texts.size());
  out.setDeviceName(device.c_str());
  out.setName(property.c_str());
  for (std::size_t i = 0; i < s.texts.size(); ++i) {
    out[i].setName(s.texts[i].first.c_str());
    std::string value = s.texts[i].second;
    for (const auto& [name, v] : values)
      if (name == s.texts[i].first) value = v;
    out[i].setText(value);
  }
  std::lock_guard lock(sendMutex_);
  client_->sendNewText(out);
}

}  // namespace np::indi
