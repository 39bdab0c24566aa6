/* SPDX-License-Identifier: Apache-2.0 */
/* Compiled as C89, C99, C++98 and C++20 under -pedantic -Werror: the public
 * header must be usable from a driver written in any of them. The function
 * touches each named value and the inline helper so that they are compiled,
 * not just declared. */
#include "inkdot/inkdot.h"

#if INKDOT_VERSION != ((INKDOT_VERSION_MAJOR << 16) | \
                       (INKDOT_VERSION_MINOR << 8) | INKDOT_VERSION_PATCH)
#error "INKDOT_VERSION does not combine its parts"
#endif

int inkdot_header_check(void);

int inkdot_header_check(void) {
  HalftoneParams page;
  CmParams colour;
  const char *text;
  page.method = INKDOT_METHOD_DIFFUSION;
  page.inputFormat = INKDOT_INPUT_RGB;
  page.colorMode = INKDOT_COLOR_TABLE;
  page.dotMode = INKDOT_DOTS_MULTI;
  colour.grayMode = INKDOT_GRAY_COMPOSITE;
  text = InkdotResultText(INKDOT_NO_KERNEL);
  return (int)page.method + (int)page.dotMode + colour.grayMode + (text[0] != 0);
}
