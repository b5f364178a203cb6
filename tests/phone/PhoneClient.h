#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "bluetooth/io/Errors.h"
#include "bluetooth/io/Utf8Path.h"
#include "obex/OBEXConnector.h"

namespace flarecast::obex::testing {

// An object as our client pushes it: each header is sent when present.
struct Object {
    std::optional<std::string> name;
    std::optional<std::string> type;
    std::optional<std::int64_t> length;
    Bytes body;
};

// A named object of that body, with its LENGTH.
inline Object named(const std::string& name, const std::string& body = "body") {
    return {name, std::nullopt, static_cast<std::int64_t>(body.size()),
            Bytes(body.begin(), body.end())};
}

// The code in one of our client's refusal messages; nothing when it carries none.
inline std::optional<int> codeIn(const std::string& message) {
    for (const std::string before : {"accepted ", "command "}) {
        const std::size_t at = message.find(before);
        if (at != std::string::npos && at + before.size() < message.size() &&
            std::isdigit(static_cast<unsigned char>(message[at + before.size()]))) {
            return std::stoi(message.substr(at + before.size()));
        }
    }
    return std::nullopt;
}

inline std::unique_ptr<ClientSession> connected(const std::string& url,
                                                Authenticator* authenticator = nullptr) {
    auto session = OBEXConnector::openSession(url);
    session->setAuthenticator(authenticator);
    session->connect(nullptr);
    return session;
}

// The phone's final answer to the object; an I/O error when the phone answered nothing.
inline int push(ClientSession& session, const Object& object) {
    HeaderSetImpl headers;
    if (object.name) {
        headers.setHeader(HeaderSet::NAME, *object.name);
    }
    if (object.type) {
        headers.setHeader(HeaderSet::TYPE, *object.type);
    }
    if (object.length) {
        headers.setHeader(HeaderSet::LENGTH, *object.length);
    }
    try {
        const auto put = session.put(&headers);
        if (!object.body.empty()) {
            put->openOutputStream()->write(object.body);
        }
        put->close();
        return put->getResponseCode();
    } catch (const bluetooth::IOError& error) {
        if (const auto code = codeIn(error.getMessage())) {
            return *code;
        }
        throw;
    }
}

// Every file in the folder, by name, with its contents.
inline std::map<std::string, std::string> filesIn(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[bluetooth::utf8Of(entry.path().filename())] = {std::istreambuf_iterator<char>(in),
                                                             {}};
    }
    return files;
}

}  // namespace flarecast::obex::testing
