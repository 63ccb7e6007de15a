#include "host/startup.h"

int main(int argc, char** argv)
{
    return ServiceProgram(argc, argv);
}
