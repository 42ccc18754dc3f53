#include "scripted_link.h"
