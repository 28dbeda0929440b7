#include "app/TarnhollowApp.h"

int main(int argc, char* argv[]) {
    return TarnhollowApp().run(argc, argv);
}
