// A second launch for the single-instance tests: hands its arguments after the
// socket folder to the instance listening there; exits 0 when one took them.
#include <QCoreApplication>

#include "desktop/SingleInstance.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    const platform::SingleInstance instance("tidewell", argv[1]);
    return instance.handOver(std::vector<std::string>(argv + 2, argv + argc)) ? 0 : 1;
}
