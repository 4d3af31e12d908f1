/* A lighting host built against the installed plug-in through pkg-config: it links the library and prints
   the plug-in's name. */
#include <stdio.h>
#include <vantor_out.h>

int main(void) {
    vantor_driver* driver = NULL;
    char* name = NULL;
    if (vantor_driver_create(&driver) != VANTOR_S_OK || vantor_PluginName(driver, &name) != VANTOR_S_OK) {
        fprintf(stderr, "%s\n", vantor_last_error());
        return 1;
    }
    printf("%s\n", name);
    vantor_string_free(name);
    vantor_driver_release(driver);
    return 0;
}
