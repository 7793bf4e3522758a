#pragma once

namespace tarvelin {
// The web component of the service: the start and stop hooks that the
// executable hands to ServiceStart and ServiceStop.

// Starts the HTTP server with CommandGet on `port`; HTTPS only when
// ServerSettings names WEBTLSCert and WEBTLSKey. Throws std::runtime_error
// when it cannot listen or a certificate file cannot be read (that one is
// logged first with the file's name).
void StartWebServer(int port);

// Stops the server: closes its connections and waits for their threads.
void StopWebServer();

}  // namespace tarvelin
