#include "Platform/HttpPort.h"

#include "Support/Text.h"

namespace lorvantine {

std::optional<std::string> HttpResponse::header(std::string_view name) const
{
    std::string wanted = Text::asciiLowercased(name);
    for (const auto& [key, value] : headers) {
        if (Text::asciiLowercased(key) == wanted)
            return value;
    }
    return std::nullopt;
}

namespace NSURLError {

std::string description(int code)
{
    switch (code) {
    case cancelled: return "cancelled";
    case badURL: return "bad URL";
    case timedOut: return "The request timed out.";
    case unsupportedURL: return "unsupported URL";
    case cannotFindHost: return "A server with the specified hostname could not be found.";
    case cannotConnectToHost: return "Could not connect to the server.";
    case networkConnectionLost: return "The network connection was lost.";
    case httpTooManyRedirects: return "too many HTTP redirects";
    case resourceUnavailable: return "resource unavailable";
    case notConnectedToInternet: return "The Internet connection appears to be offline.";
    case badServerResponse: return "bad server response";
    case userAuthenticationRequired: return "user authentication required";
    case cannotDecodeContentData: return "cannot decode raw data";
    case cannotParseResponse: return "cannot parse response";
    case appTransportSecurityRequiresSecureConnection:
        return "The resource could not be loaded because the App Transport Security policy requires the use of a secure connection.";
    case dataLengthExceedsMaximum: return "resource exceeds maximum size";
    case secureConnectionFailed: return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case serverCertificateUntrusted: return "The certificate for this server is invalid.";
    default: return "unknown error";
    }
}

HttpError error(int code)
{
    return HttpError{domain, code, description(code)};
}

} // namespace NSURLError
} // namespace lorvantine
