#include "entry/startup.h"

int main(int argc, char** argv)
{
    return ServiceProgram(argc, argv);
}
