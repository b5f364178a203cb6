#include "obex/headers/HeaderSetImpl.h"

#include "bluetooth/io/Errors.h"
#include "obex/auth/Authentication.h"

namespace flarecast::obex {

HeaderSetImpl::HeaderSetImpl(const HeaderSetImpl& other) {
    const std::lock_guard guard(other.lock);
    headers = other.headers;
    respCode = other.respCode;
}

HeaderSetImpl& HeaderSetImpl::operator=(const HeaderSetImpl& other) {
    if (this != &other) {
        std::scoped_lock guards(lock, other.lock);
        headers = other.headers;
        respCode = other.respCode;
    }
    return *this;
}

void HeaderSetImpl::setHeader(int id, std::optional<HeaderValue> value) {
    const std::lock_guard guard(lock);
    if (value) {
        headers.insert_or_assign(id, std::move(*value));
    } else {
        headers.erase(id);
    }
}

std::optional<HeaderValue> HeaderSetImpl::getHeader(int id) const {
    const std::lock_guard guard(lock);
    const auto found = headers.find(id);
    if (found == headers.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::vector<int> HeaderSetImpl::getHeaderList() const {
    const std::lock_guard guard(lock);
    std::vector<int> ids;
    bool hasBody = false;
    for (const auto& [id, value] : headers) {
        if (id == BODY) {
            hasBody = true;
        } else {
            ids.push_back(id);
        }
    }
    if (hasBody) {
        ids.push_back(BODY);
    }
    return ids;
}

int HeaderSetImpl::getResponseCode() const {
    if (respCode < 0) {
        throw bluetooth::IOError("No Response code for this HeaderSet");
    }
    return respCode;
}

void HeaderSetImpl::createAuthenticationChallenge(const std::string& realm, bool userID,
                                                  bool access) {
    setHeader(AUTH_CHALLENGE, buildChallenge(newNonce(), realm, userID, access));
}

}  // namespace flarecast::obex
