// Runs inside tst_bootvm.py's virtual machine, which has no touch hardware: a single-touch panel
// made through the kernel's uinput, as a resistive panel's driver reports one (BTN_TOUCH with
// ABS_X and ABS_Y, no multi-touch axes). Each line "X Y" read from standard input is one tap at
// that panel pixel, answered by "tapped X Y". Linked statically: the machine has no C++ runtime.
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int panelWidth = 480;
constexpr int panelHeight = 272;

bool emit(int device, int type, int code, int value)
{
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    return write(device, &event, sizeof event) == sizeof event;
}

bool setAxis(int device, int code, int maximum)
{
    uinput_abs_setup axis{};
    axis.code = code;
    axis.absinfo.maximum = maximum;
    return ioctl(device, UI_ABS_SETUP, &axis) == 0;
}

bool create(int device)
{
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::strcpy(setup.name, "page-scope test touch panel");
    return ioctl(device, UI_SET_EVBIT, EV_KEY) == 0 &&
           ioctl(device, UI_SET_KEYBIT, BTN_TOUCH) == 0 &&
           ioctl(device, UI_SET_EVBIT, EV_ABS) == 0 && ioctl(device, UI_SET_ABSBIT, ABS_X) == 0 &&
           ioctl(device, UI_SET_ABSBIT, ABS_Y) == 0 &&
           ioctl(device, UI_SET_PROPBIT, INPUT_PROP_DIRECT) == 0 &&
           setAxis(device, ABS_X, panelWidth - 1) && setAxis(device, ABS_Y, panelHeight - 1) &&
           ioctl(device, UI_DEV_SETUP, &setup) == 0 && ioctl(device, UI_DEV_CREATE) == 0;
}

bool tap(int device, int x, int y)
{
    const bool down = emit(device, EV_ABS, ABS_X, x) && emit(device, EV_ABS, ABS_Y, y) &&
                      emit(device, EV_KEY, BTN_TOUCH, 1) && emit(device, EV_SYN, SYN_REPORT, 0);
    usleep(80 * 1000);
    return down && emit(device, EV_KEY, BTN_TOUCH, 0) && emit(device, EV_SYN, SYN_REPORT, 0);
}

} // namespace

int main()
{
    const int device = open("/dev/uinput", O_WRONLY | O_CLOEXEC);
    if (device < 0 || !create(device)) {
        std::perror("bootvm-touch-panel: /dev/uinput");
        return 1;
    }
    char line[64];
    int x = 0;
    int y = 0;
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::sscanf(line, "%d %d", &x, &y) == 2 && tap(device, x, y))
            std::printf("tapped %d %d\n", x, y);
        else
            std::printf("not tapped: %s", line);
        std::fflush(stdout);
    }
    return 0;
}
