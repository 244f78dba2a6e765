/* A program another account might put where root starts programs: built
   static, so that it runs inside a bare sandbox root too; it leaves the file
   /planted-ran behind in the root it runs in. */
#include <fcntl.h>

int main(void) {
    return open("/planted-ran", O_CREAT | O_WRONLY, 0600) < 0;
}
