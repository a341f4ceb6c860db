// Process entry of every game program: the game supplies game_configure, game_main and its
// table of named functions (game_functions); everything else is the runtime's.
#include "runtime/runtime.h"

int main() { rt::run_program(game_functions); }
