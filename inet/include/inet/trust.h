// Extra certificate authorities for TLS verification: the layer's stand-in for adding a
// certificate to the system's trust store. Certificates are verified against the system's store
// (/etc/ssl/certs) plus the authorities added here. Tests use it to trust the CA they generate.
#pragma once

#include <string>

namespace inet {

// Adds every certificate of the PEM file at `pem_path` to the authorities trusted by all later
// TLS handshakes of this process (all sessions). Any thread; takes effect for connections opened
// afterwards. Returns false, trusting nothing new, when the file can't be read or holds no
// certificate.
bool AddTrustedCertificateAuthorities(const std::string& pem_path);

// Forgets every authority added above. Any thread.
void ClearTrustedCertificateAuthorities();

}  // namespace inet
