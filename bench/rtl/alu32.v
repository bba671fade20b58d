// A 32-bit ALU: add, subtract, and, or, xor, shift left, shift right, set-less-than.
module alu32 (input [31:0] a, input [31:0] b, input [2:0] op, output reg [31:0] y,
              output zero);
  always @* begin
    case (op)
      3'd0: y = a + b;
      3'd1: y = a - b;
      3'd2: y = a & b;
      3'd3: y = a | b;
      3'd4: y = a ^ b;
      3'd5: y = a << b[4:0];
      3'd6: y = a >> b[4:0];
      default: y = {31'd0, $signed(a) < $signed(b)};
    endcase
  end
  assign zero = y == 32'd0;
endmodule
