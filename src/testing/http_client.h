#pragma once

#include <map>
#include <string>

// A small HTTP/1.1 client over loopback sockets for tests that speak to the
// host web server. Every exchange uses a fresh connection and reads the answer
// until the server closes it (receives time out after ten seconds).

// A connected socket to 127.0.0.1:port; the test fails when it cannot connect.
int ConnectLoopback(int port);
// Sends all of data, or as much as the server takes before it closes.
void SendAll(int fd, const std::string& data);
// Everything the server sends until it closes the connection.
std::string ReadAll(int fd);
// Sends a raw request on a fresh connection and returns the raw answer.
std::string Exchange(int port, const std::string& request);

// An answer split into its status line, headers and body.
struct HttpReply {
  std::string statusLine;
  std::map<std::string, std::string> headers;
  std::string body;
};

// Splits a raw answer; an answer without a complete head gives an empty reply.
HttpReply ParseReply(const std::string& raw);
// Sends "METHOD target HTTP/1.1" with a Host header, the extra header lines
// (each ending in CR LF) and body, and parses the answer.
HttpReply Request(int port, const std::string& method, const std::string& target,
                  const std::string& headers = "", const std::string& body = "");
// The header line (with its CR LF) that sends "user:password" credentials by
// HTTP Basic authentication.
std::string BasicAuthorization(const std::string& credentials);

// The Content-Type the host server answers for a content type function of the
// URL table ("HSTypeGif" or "HSTypeStaticGif" -> "image/gif"); empty for a name
// it does not know. The catch-all HSTypeApplet answers by the extension of the
// URL (.css text/css, ...; others application/octet-stream).
std::string ContentTypeOf(const std::string& typeFunction, const std::string& url = "");
