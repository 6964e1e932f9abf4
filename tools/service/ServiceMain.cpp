// tidewell-service: the stand-in web service on loopback.
//   tidewell-service [--port N] [--database PATH]
// Prints "tidewell-service listening on http://127.0.0.1:<port>" once it listens.

#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "StandInService.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::uint16_t port = 0;
    std::string database = ":memory:";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--port") port = std::uint16_t(std::stoi(argv[i + 1]));
        else if (flag == "--database") database = argv[i + 1];
    }
    tidewell::service::StandInService service(database);
    if (!service.listen(port)) {
        std::fprintf(stderr, "tidewell-service: cannot listen on port %u\n", unsigned(port));
        return 1;
    }
    std::printf("tidewell-service listening on %s\n", service.origin().c_str());
    std::fflush(stdout);
    return app.exec();
}
