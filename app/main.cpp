#include <iostream>

#include "app/ProgramOptions.h"
#include "app/Startup.h"

int main(int argc, char** argv) {
    const talyx::ProgramOptions options = talyx::ParseProgramOptions(argc, argv);
    if (const int code = talyx::AnswerWithoutWindow(options, std::cout, std::cerr); code >= 0)
        return code;
    return talyx::RunApplication(argc, argv, options);
}
