// Saves one of two long texts to a file, alternately and without end, for the crash test to kill.
#include "CrashTestText.h"
#include "DocumentService.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString texts[] = {crashTestText('A'), crashTestText('B')};
    const DocumentService service;
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (unsigned round = 0;; ++round)
        if (auto error = service.writeContents(texts[round % 2], path)) {
            std::fprintf(stderr, "%s\n", qPrintable(error->description()));
            return 1;
        }
}
