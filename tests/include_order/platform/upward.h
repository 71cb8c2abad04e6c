// Sample for the include-order check's own test: a lower floor reaching up.
#include "signer/downward.h"
