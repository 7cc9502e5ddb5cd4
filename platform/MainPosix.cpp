#include "Registration.h"

// The program takes no arguments: both files are found from its own path.
int main() { return RunRegistration(); }
