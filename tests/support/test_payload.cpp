// A small DLL that the tests sign with the test PKI's certificates.
#include "platform/win.h"

extern "C" __declspec(dllexport) int VaroTestPayload() { return 1; }
