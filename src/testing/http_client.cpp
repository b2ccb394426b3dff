#include "testing/http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <map>

#include "platform/ascii.h"

int ConnectLoopback(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(uint16_t(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  return fd;
}

void SendAll(int fd, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the server may answer and close before taking everything
    sent += size_t(n);
  }
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) text.append(buffer, size_t(n));
  return text;
}

std::string Exchange(int port, const std::string& request) {
  int fd = ConnectLoopback(port);
  SendAll(fd, request);
  std::string reply = ReadAll(fd);
  close(fd);
  return reply;
}

HttpReply ParseReply(const std::string& raw) {
  HttpReply reply;
  const size_t headEnd = raw.find("\r\n\r\n");
  if (headEnd == std::string::npos) return reply;
  const size_t lineEnd = raw.find("\r\n");
  reply.statusLine = raw.substr(0, lineEnd);
  for (size_t pos = lineEnd + 2; pos < headEnd;) {
    const size_t end = raw.find("\r\n", pos);
    const std::string line = raw.substr(pos, end - pos);
    const size_t colon = line.find(": ");
    reply.headers[line.substr(0, colon)] = colon == std::string::npos ? "" : line.substr(colon + 2);
    pos = end + 2;
  }
  reply.body = raw.substr(headEnd + 4);
  return reply;
}

HttpReply Request(int port, const std::string& method, const std::string& target,
                  const std::string& headers, const std::string& body) {
  return ParseReply(Exchange(
      port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" + body));
}

std::string BasicAuthorization(const std::string& credentials) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out = "Authorization: Basic ";
  for (size_t i = 0; i < credentials.size(); i += 3) {
    unsigned bits = unsigned(uint8_t(credentials[i])) << 16;
    if (i + 1 < credentials.size()) bits |= unsigned(uint8_t(credentials[i + 1])) << 8;
    if (i + 2 < credentials.size()) bits |= uint8_t(credentials[i + 2]);
    out += kDigits[bits >> 18];
    out += kDigits[(bits >> 12) & 63];
    out += i + 1 < credentials.size() ? kDigits[(bits >> 6) & 63] : '=';
    out += i + 2 < credentials.size() ? kDigits[bits & 63] : '=';
  }
  return out + "\r\n";
}

std::string ContentTypeOf(const std::string& typeFunction, const std::string& url) {
  static const std::map<std::string, std::string> kTypes = {
      {"Html", "text/html"},     {"Text", "text/plain"},
      {"Jpeg", "image/jpeg"},    {"Gif", "image/gif"},
      {"Tiff", "image/tiff"},    {"Pict", "image/x-pict"},
      {"Png", "image/png"},      {"Applet", "application/octet-stream"},
      {"Asf", "video/x-ms-asf"}, {"Xbm", "image/x-xbitmap"},
      {"Wav", "audio/wav"},      {"Au", "audio/basic"}};
  std::string suffix = typeFunction;
  for (const char* prefix : {"HSTypeStatic", "HSType"}) {
    if (suffix.rfind(prefix, 0) == 0) {
      suffix.erase(0, std::char_traits<char>::length(prefix));
      break;
    }
  }
  if (suffix == "Applet") {
    static const std::map<std::string, std::string> kByExtension = {
        {"css", "text/css"},        {"js", "text/javascript"},    {"mjs", "text/javascript"},
        {"svg", "image/svg+xml"},   {"json", "application/json"}, {"ico", "image/x-icon"},
        {"woff2", "font/woff2"},    {"woff", "font/woff"},        {"wasm", "application/wasm"},
        {"xml", "application/xml"}, {"pdf", "application/pdf"},   {"mp3", "audio/mpeg"}};
    const size_t slash = url.rfind('/');
    const size_t dot = url.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
      const auto known = kByExtension.find(AsciiLowerCopy(url.substr(dot + 1)));
      if (known != kByExtension.end()) return known->second;
    }
  }
  auto it = kTypes.find(suffix);
  return it == kTypes.end() ? std::string() : it->second;
}
