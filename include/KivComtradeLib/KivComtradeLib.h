#pragma once
// Umbrella header: the whole public interface of KivComtradeLib.

#include <KivComtradeLib/Export.h>
#include <KivComtradeLib/KivCommon.h>
#include <KivComtradeLib/Constants.h>
#include <KivComtradeLib/StringHelper.h>
#include <KivComtradeLib/FilesHelper.h>
#include <KivComtradeLib/ToUtf8.h>
#include <KivComtradeLib/Enums.h>
#include <KivComtradeLib/Converters.h>
#include <KivComtradeLib/SamplingRate.h>
#include <KivComtradeLib/BaseChannelConfig.h>
#include <KivComtradeLib/AnalogChannelConfig.h>
#include <KivComtradeLib/BinaryChannelConfig.h>
#include <KivComtradeLib/Cfg.h>
#include <KivComtradeLib/Sample.h>
#include <KivComtradeLib/Dat.h>
#include <KivComtradeLib/BaseChannel.h>
#include <KivComtradeLib/AnalogChannel.h>
#include <KivComtradeLib/BinaryChannel.h>
#include <KivComtradeLib/LoadOptions.h>
#include <KivComtradeLib/LoadReport.h>
#include <KivComtradeLib/DateTime.h>
#include <KivComtradeLib/Comtrade.h>
#include <KivComtradeLib/ColumnarRecording.h>
#include <KivComtradeLib/Analysis.h>
