// A multiply-accumulate unit: acc <= acc + a * b on every enabled clock edge, with a
// synchronous clear; `sum` shows the next value combinationally, `overflow` flags a carry out.
module mac (
    input clk,
    input clear,
    input enable,
    input [7:0] a,
    input [7:0] b,
    output reg [19:0] acc,
    output [19:0] sum,
    output overflow
);
  wire [20:0] next = {1'b0, acc} + a * b;
  assign sum = next[19:0];
  assign overflow = next[20];
  always @(posedge clk)
    if (clear) acc <= 20'd0;
    else if (enable) acc <= next[19:0];
endmodule
