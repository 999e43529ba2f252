// Built as libgtk-3.so.0 in a folder of its own: a library by GTK's name that
// holds none of its functions, so that a test can show what happens when GTK
// cannot be used.
extern "C" int avendrel_not_gtk()
{
    return 0;
}
