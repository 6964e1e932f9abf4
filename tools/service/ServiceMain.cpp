// tidewell-service: the stand-in web service on loopback.
//   tidewell-service [--port N] [--database PATH] [--serve-request-record] [--sample-board]
// Prints "tidewell-service listening on http://127.0.0.1:<port>" once it listens.
// --serve-request-record is for tests: it keeps a record of the newest
// requests and answers GET /__requests with it, bearer tokens included, and
// takes knobs at POST /__knobs/<route>. Without it there is neither.
// --sample-board puts four accounts on the board, for pictures of the page.

#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "StandInService.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::uint16_t port = 0;
    std::string database = ":memory:";
    tidewell::service::StandInService::Options options;
    bool sampleBoard = false;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--serve-request-record") options.servesRequestRecord = true;
        else if (flag == "--sample-board") sampleBoard = true;
        else if (flag == "--port" && i + 1 < argc) port = std::uint16_t(std::stoi(argv[++i]));
        else if (flag == "--database" && i + 1 < argc) database = argv[++i];
        else {
            std::fprintf(stderr, "tidewell-service: unknown option %s\n", flag.c_str());
            return 2;
        }
    }
    tidewell::service::StandInService service(database, options);
    if (sampleBoard) {
        service.addToBoard("jane_doe", 0, 48'200'000'000ULL);
        service.addToBoard("mkoval", 1, 31'900'000'000ULL);
        service.addToBoard("river.dev", 2, 12'400'000'000ULL);
        service.addToBoard("tess-ops", 3, 3'100'000'000ULL);
    }
    if (!service.listen(port)) {
        std::fprintf(stderr, "tidewell-service: cannot listen on port %u\n", unsigned(port));
        return 1;
    }
    std::printf("tidewell-service listening on %s\n", service.origin().c_str());
    std::fflush(stdout);
    return app.exec();
}
