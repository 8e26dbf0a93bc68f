// Preloaded into the viewer by tst_bootservice.sh: a framebuffer device for Qt's linuxfb platform
// where the machine has none. FAKE_FRAMEBUFFER names the device; opening it gives a memory file
// of a 480 x 272 panel of 32-bit pixels, and its ioctls describe that panel.
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fb.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr int width = 480;
constexpr int height = 272;
int framebuffer = -1;

bool isFramebuffer(const char *path)
{
    const char *name = std::getenv("FAKE_FRAMEBUFFER");
    return name && std::strcmp(path, name) == 0;
}

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int access(const char *path, int mode)
{
    return isFramebuffer(path) ? 0 : next<int (*)(const char *, int)>("access")(path, mode);
}

int open64(const char *path, int flags, ...)
{
    if (isFramebuffer(path)) {
        framebuffer = memfd_create("framebuffer", MFD_CLOEXEC);
        return ftruncate(framebuffer, width * height * 4) == 0 ? framebuffer : -1;
    }
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(arguments, mode_t) : 0;
    va_end(arguments);
    return next<int (*)(const char *, int, ...)>("open64")(path, flags, mode);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    if (fd < 0 || fd != framebuffer)
        return next<int (*)(int, unsigned long, void *)>("ioctl")(fd, request, argument);
    if (request == FBIOGET_FSCREENINFO) {
        auto *fixed = static_cast<fb_fix_screeninfo *>(argument);
        *fixed = fb_fix_screeninfo();
        fixed->smem_len = width * height * 4;
        fixed->line_length = width * 4;
        fixed->type = FB_TYPE_PACKED_PIXELS;
        fixed->visual = FB_VISUAL_TRUECOLOR;
    } else if (request == FBIOGET_VSCREENINFO) {
        auto *variable = static_cast<fb_var_screeninfo *>(argument);
        *variable = fb_var_screeninfo();
        variable->xres = variable->xres_virtual = width;
        variable->yres = variable->yres_virtual = height;
        variable->bits_per_pixel = 32;
        variable->red = {16, 8, 0};
        variable->green = {8, 8, 0};
        variable->blue = {0, 8, 0};
    }
    return 0;
}
}
