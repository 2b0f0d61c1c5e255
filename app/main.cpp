#include "IplImagePointer.h"
#include "KIVOApplication.h"

int main(int argc, char *argv[])
{
    qRegisterMetaType<IplImage *>("IplImage*");
    KIVOApplication application(argc, argv);
    return application.exec();
}
