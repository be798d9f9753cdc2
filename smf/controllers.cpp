#include "smf/controllers.h"

#include "smf/out.h"

uint32_t report_controller(const Image& image, uint8_t status, uint32_t data) {
  const uint8_t* p = bytes_at(image, data, 2);
  if (!p) return 0;
  if ((status & 0xF0) != 0xB0) return 2;
  const int number = p[0];
  const int value = p[1];
  // clang-format off
  switch (number) {
    case 0: out<"バンクセレクトMSB (CC#0)\n">(); break;
    case 1: out<"モジュレーション %d\n">(value); break;
    case 6: out<"データ・エントリー MSB %d\n">(value); break;
    case 7: out<"ボリューム %d\n">(value); break;
    case 10: out<"PANPOT %d\n">(value); break;
    case 11: out<"エクスプレッション(Expression) %d\n">(value); break;
    case 32: out<"バンクセレクトLSB (CC#32)\n">(); break;
    case 38: out<"データ・エントリー LSB %d\n">(value); break;
    case 91: out<"CC)リバーブ %d\n">(value); break;
    case 92:
    case 93:
    case 95: out<"未定義 (0x%x%d\n">(number, value); break;
    case 99: out<"未定義(0x%x) %d\n">(number, value); break;
    case 100: out<"unknown(#100(0x64)) 0x%x %d\n">(value, value); break;
    case 101: out<"unknown(#101(0x65)) 0x%x %d\n">(value, value); break;
    case 121: out<"リセットオールコントローラー (CC#121)\n">(); break;
    default: break;  // unnamed: the trace line stays open for the next event
  }
  // clang-format on
  return 2;
}
