// Sample for the include-order check's own test: a higher floor reaching down.
  #  include "platform/upward.h"
