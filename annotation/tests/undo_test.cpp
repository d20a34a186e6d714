#include "gesture_fixture.h"
