#include "ui/startup.h"

int main(int argc, char *argv[])
{
    return tarnivel::runProgram(argc, argv);
}
