// One step of CRC-32 (polynomial 0x04C11DB7) over 64 data bits.
module crc32x64 (input [31:0] crc, input [63:0] data, output [31:0] next);
  function [31:0] step(input [31:0] c, input d);
    step = {c[30:0], 1'b0} ^ ((c[31] ^ d) ? 32'h04C11DB7 : 32'd0);
  endfunction
  integer i;
  reg [31:0] c;
  always @* begin
    c = crc;
    for (i = 63; i >= 0; i = i - 1) c = step(c, data[i]);
  end
  assign next = c;
endmodule
