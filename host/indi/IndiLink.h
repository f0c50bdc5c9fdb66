#pragma once
// The connection to an INDI server, over the client library. What the server sends is
// copied into the Inbox on the library's thread; what the program sends is built from
// the program's own copies (whole vectors, every element named), so that nothing the
// library's thread may change at the same time is touched.
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host/indi/IndiInbox.h"

namespace np::indi {

class LinkClient;  // the client library's side, in IndiLink.cpp

class Link {
 public:
  Link();
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  Inbox& inbox() { return inbox_; }
  const std::string& server() const { return server_; }

  // Connects to "host:port" (the port defaults to 7624) within `timeoutSeconds`; asks
  // for the properties of every device. Throws RunTimeError naming the server.
  void connect(const std::string& server, double timeoutSeconds);
  void disconnect();
  // Images of the device come to the inbox as well as its properties.
  void receiveImagesOf(const std::string& device);

  // Sends a switch vector with exactly the element `on` On and every other element Off
  // (a one-of-many switch keeps the element it had on otherwise).
  void sendSwitch(const std::string& device, const std::string& property, const std::string& on);
  // Sends a number vector: the elements given take the values given, the others keep
  // the values last received.
  void sendNumbers(const std::string& device, const std::string& property,
                   const std::vector<std::pair<std::string, double>>& values);
  void sendText(const std::string& device, const std::string& property,
                const std::vector<std::pair<std::string, std::string>>& values);

 private:
  PropertySnapshot known(const std::string& device, const std::string& property, PropertyKind kind) const;

  Inbox inbox_;
  std::string server_;
  std::mutex sendMutex_;
  std::unique_ptr<LinkClient> client_;
};

}  // namespace np::indi
