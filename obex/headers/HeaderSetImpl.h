#pragma once

#include <map>
#include <mutex>

#include "obex/headers/HeaderSet.h"

namespace flarecast::obex {

// The header set of every OBEX packet this system builds or reads. Ids iterate in ascending
// order, except the body, which is always last.
class HeaderSetImpl final : public HeaderSet {
public:
    HeaderSetImpl() = default;
    HeaderSetImpl(const HeaderSetImpl& other);
    HeaderSetImpl& operator=(const HeaderSetImpl& other);

    void setHeader(int id, std::optional<HeaderValue> value) override;
    std::optional<HeaderValue> getHeader(int id) const override;
    std::vector<int> getHeaderList() const override;
    int getResponseCode() const override;
    void createAuthenticationChallenge(const std::string& realm, bool userID, bool access) override;

    // Stored as an unsigned byte.
    void setRespCode(int code) { respCode = code & 0xFF; }

    template <typename T>
    std::optional<T> get(int id) const {
        const auto value = getHeader(id);
        if (value && std::holds_alternative<T>(*value)) {
            return std::get<T>(*value);
        }
        return std::nullopt;
    }

private:
    mutable std::mutex lock;
    std::map<int, HeaderValue> headers;
    int respCode = -1;
};

}  // namespace flarecast::obex
