// The floor bench_startup measures lorvantine against: the program's own link line around a main
// that touches nothing and sends the first speech request through the build's HTTP session, so
// it pays only for loading the libraries, starting and that request.
//
//   bench_startup_floor <server base URL>

#include "Platform/HttpPort.h"

#include <cstdio>
#include <future>
#include <string>

using namespace lorvantine;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_startup_floor <server base URL>\n");
        return 2;
    }
    auto session = HttpSession::makeDefault();
    HttpRequest request;
    request.url = std::string(argv[1]) + "/api/captioned_speech_partly";
    request.method = "POST";
    request.headers = {{"Content-Type", "application/json"}, {"User-Agent", "LorvantineDesktop/1.0"}};
    const std::string body = R"({"input":"Slow Reading in a Fast World","voice_code":"af_heart","language":"en","speed":1.5})";
    request.body.assign(body.begin(), body.end());
    std::promise<void> answered;
    session->dataTask(std::move(request), [&answered](HttpResult) { answered.set_value(); });
    answered.get_future().wait();
    return 0;
}
